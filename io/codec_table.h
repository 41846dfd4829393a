// The codecs as the I/O component sees them: per file type, a record of the
// operations a codec fills in when its module starts. The I/O component, its
// dispatch and the format detection call a codec only through these records,
// so that no I/O file needs a codec header and the codecs live in a library
// above it.
//
// A codec module (codecs/codecs_module.cpp, or a module of a higher library
// added with VXAddCodecModule) fills the records of its file types with
// VXSetCodecOps. Operations a format does not have stay nullptr.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/layer.h"
#include "core/mask.h"
#include "core/startup.h"
#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;
class TVXIPTCInfoList;

// Where a reader that decodes a row at a time (PNG) may hand an image over
// row by row instead of filling the bitmap, so that the image is never held
// whole: for images that it would read as vx24RGB, with or without an alpha
// channel, in one pass (not interlaced).
struct TVXRowSink {
  // After the header and before any row, with the image's size and whether it
  // has an alpha channel; false: the rows go to the bitmap as they would
  // without a sink.
  std::function<bool(int32_t Width, int32_t Height, bool Alpha)> Start;
  // Row Y, from the top down: Width pixels as B G R bytes (R G B with Rgb)
  // and, with alpha, Width alpha bytes (nullptr without). Valid during the
  // call only.
  std::function<void(int32_t Y, const uint8_t* Colour, const uint8_t* Alpha)> Row;
  // The sink takes its colour rows as R G B bytes, the order they are stored
  // in, which spares the reader reordering every pixel.
  bool Rgb = false;
};

// One read: what the component hands to a codec's reader and what the reader
// hands back beside the bitmap and the parameters.
struct TVXCodecReadArgs {
  TStream* Stream = nullptr;       // read from its position
  TVXBitmap* Bitmap = nullptr;     // the target; untouched when Preview
  TIOParamsVals* Params = nullptr;
  TProgressRec* Progress = nullptr;  // damage sets *Progress->Aborting
  bool Preview = false;            // parameters only, no pixels
  // Offsets of the file count from the stream's position (else they are
  // absolute stream positions, as for a TIFF behind a stream header).
  bool TranslateBase = true;
  // Bytes of the image from the position, for formats that need the length
  // (PCX, BMP, a DCX page); -1: up to the end of the stream.
  int64_t Length = -1;
  // Out: transparency as a mask, for readers that return one (the component
  // moves it into the target's alpha channel after CheckDPI).
  std::unique_ptr<TVXMask> AlphaMask;
  // Out: the number of frames or pages of the file, for readers that count them.
  int32_t Count = 0;
  // Animation readers (GIF): when set, every frame up to the parameters' image
  // index (every frame for a negative one) is read in turn into Bitmap and
  // AlphaMask, and OnFrame is called after each; false from it ends the walk.
  std::function<bool()> OnFrame;
  // Layered documents (PSD): LoadLayers asks for every layer; Layers, when
  // given, receives the layers the reader creates (the caller owns them).
  bool LoadLayers = false;
  TVXLayerList* Layers = nullptr;
  // Row readers (PNG): the sink the rows go to when it takes them; the bitmap
  // is then left as it was.
  const TVXRowSink* Rows = nullptr;
};

// One write at the stream's position.
struct TVXCodecWriteArgs {
  TStream* Stream = nullptr;
  TVXBitmap* Bitmap = nullptr;
  TIOParamsVals* Params = nullptr;
  TProgressRec* Progress = nullptr;  // a short write sets *Progress->Aborting
  TVXMask* AlphaMask = nullptr;      // the target's alpha channel as a mask, or nullptr
  // Multi-page formats: insert the image at the parameters' image index into
  // the file the stream already holds, instead of writing a new file.
  bool Insert = false;
  // Out: the page count after the write, for writers that report it.
  int32_t Count = 0;
  // Layered documents (PSD): the layers written beside the merged image
  // (nullptr: none). The writer may convert and resample their bitmaps.
  const TVXLayerList* Layers = nullptr;
};

struct TVXCodecOps {
  // Reader with the component's standard options (native pixel format,
  // transparency handling and image index taken from the parameters).
  void (*Read)(TVXCodecReadArgs& Args) = nullptr;
  // Parameters-only reader (ParamsFrom...); nullptr: Read with Preview true.
  void (*ReadParams)(TVXCodecReadArgs& Args) = nullptr;
  // Writer with the component's standard options.
  void (*Write)(TVXCodecWriteArgs& Args) = nullptr;
  // Content probe: true when the stream holds this format at its position,
  // which it restores. Used by detection for the formats whose probe needs
  // the codec (TIFF, HD Photo, camera raw, PNG, the library's own files).
  bool (*IsStream)(TStream* Stream) = nullptr;
  // For formats stored in TIFF files (camera raw): true when a TIFF stream is
  // one of this format; position restored.
  bool (*IsTIFFVariant)(TStream* Stream) = nullptr;
  // The embedded preview of a file of this format (CIFF camera raw) decoded
  // into Bitmap; false, the bitmap unchanged, when there is none.
  bool (*LoadPreview)(TVXBitmap* Bitmap, TStream* Stream) = nullptr;
  // Frames, pages or images of the file at the stream's position; position
  // restored.
  int32_t (*ImageCount)(TStream* Stream) = nullptr;
  // Removes image Index from the file in place; returns the codec's count.
  int32_t (*DeleteImage)(const std::string& FileName, int32_t Index) = nullptr;
  // Removes image Index from the file that starts at position 0 of Stream,
  // in place; returns the images left, or -1 with the stream unchanged when
  // it could not be rebuilt (TIFF).
  int32_t (*DeleteStreamImage)(TStream* Stream, int32_t Index) = nullptr;
  // Inserts Bitmap into the existing file as the image at the parameters'
  // image index; returns the new count.
  int32_t (*InsertImage)(const std::string& FileName, TVXBitmap* Bitmap, TIOParamsVals& Params,
                         TProgressRec& Progress) = nullptr;
  // Rewrites the start of an animation file: version, logical screen at
  // least MinWidth x MinHeight, the looping extension with LoopCount (GIF);
  // false when the file was left alone.
  bool (*UpdateHeader)(const std::string& FileName, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight) = nullptr;
  // Copies the file from Input to Output with its IPTC block replaced by the
  // records (JPEG); true when the copy ended normally with the block written.
  bool (*InjectIPTC)(TStream* Input, TStream* Output, const TVXIPTCInfoList& IPTC, TProgressRec& Progress) = nullptr;
  // Writes the file with its EXIF data replaced by the parameters' (JPEG: the
  // APP1 block; TIFF: the EXIF of page PageIndex): from Input to Output when
  // both streams are given, else from the file InputFileName to the file
  // OutputFileName (which may be the same). True on success.
  bool (*InjectEXIF)(TStream* Input, TStream* Output, const std::string& InputFileName,
                     const std::string& OutputFileName, int32_t PageIndex, TIOParamsVals& Params,
                     TProgressRec& Progress) = nullptr;
  // Documents of many pages (PostScript, PDF): CreateDocument starts one that
  // goes to Stream and returns its handle; AddPage appends Bitmap as a page
  // (an exception leaves the document as it was); CloseDocument finishes the
  // document on Stream and frees the handle (nullptr does nothing).
  void* (*CreateDocument)(TStream* Stream, TIOParamsVals& Params) = nullptr;
  void (*AddPage)(void* Handle, TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params,
                  TProgressRec& Progress) = nullptr;
  void (*CloseDocument)(void* Handle, TStream* Stream, TIOParamsVals& Params) = nullptr;
};

// Stores the operations of FileType (replacing earlier ones).
void VXSetCodecOps(int32_t FileType, const TVXCodecOps& Ops);
// The operations of FileType, or nullptr when no codec has registered it.
const TVXCodecOps* VXFindCodecOps(int32_t FileType);
// What the component asks of a codec, for VXRequireCodecOps.
enum TVXCodecOperation : int32_t { vxcoLoad, vxcoSave, vxcoReadParams, vxcoCount, vxcoDelete, vxcoInsert, vxcoInjectIPTC,
                         vxcoUpdateHeader, vxcoDocument, vxcoInjectEXIF };
// The operations of FileType, which must include Operation. Raises
// EVXException "Cannot <load|save|read the parameters of|count the images
// of|delete an image of|insert an image into|inject IPTC records into|update
// the header of|write a document of|inject EXIF into> <full name>: no codec is
// registered for it" otherwise (the full name from the registry, or "file
// type N" without an entry).
const TVXCodecOps& VXRequireCodecOps(int32_t FileType, TVXCodecOperation Operation);
// Forgets every codec's operations (I/O shut-down).
void VXClearCodecOps();

// Adds a codec module's start-up and shut-down. Codec libraries call this from
// a static initializer of an object that is always linked; the I/O module's
// start-up runs the start-ups in the order they were added, after its own
// work (the registry exists by then), and its shut-down runs the shut-downs in
// reverse order before its own.
void VXAddCodecModule(TVXHookProc Startup, TVXHookProc Shutdown);
// Runs the added start-ups, or the shut-downs in reverse (the I/O module).
void VXStartCodecModules();
// True once a codec module has been added.
bool VXCodecModulesAdded();
// For a file or stream that found no format or no codec: raises EVXException
// naming the start-up that did not run, when that is why: no codec module is
// linked into the program, or the library has not been started. Returns
// otherwise.
void VXRequireLibraryStartup();
void VXStopCodecModules();
