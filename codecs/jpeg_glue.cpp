// The JPEG codec boundary: messages, error manager, stream managers.
#include "codecs/jpeg_glue.h"

#include <algorithm>
#include <cstring>

#include "codecs/jpeg.h"
#include "core/streams.h"

namespace {

// libjpeg's message table for interface 62, with every printf placeholder
// (and placeholders joined by a blank or a dot) shown as one "?".
const char* const kMessages[124] = {
    "Bogus message code ?",  // 0
    "Sorry, arithmetic coding is not implemented",  // 1
    "ALIGN_TYPE is wrong, please fix",  // 2
    "MAX_ALLOC_CHUNK is wrong, please fix",  // 3
    "Bogus buffer control mode",  // 4
    "Invalid component ID ? in SOS",  // 5
    "DCT coefficient out of range",  // 6
    "IDCT output block size ? not supported",  // 7
    "Bogus Huffman table definition",  // 8
    "Bogus input colorspace",  // 9
    "Bogus JPEG colorspace",  // 10
    "Bogus marker length",  // 11
    "Wrong JPEG library version: library is ?, caller expects ?",  // 12
    "Sampling factors too large for interleaved scan",  // 13
    "Invalid memory pool code ?",  // 14
    "Unsupported JPEG data precision ?",  // 15
    "Invalid progressive parameters Ss=? Se=? Ah=? Al=?",  // 16
    "Invalid progressive parameters at scan script entry ?",  // 17
    "Bogus sampling factors",  // 18
    "Invalid scan script at entry ?",  // 19
    "Improper call to JPEG library in state ?",  // 20
    "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?",  // 21
    "Bogus virtual array access",  // 22
    "Buffer passed to JPEG library is too small",  // 23
    "Suspension not allowed here",  // 24
    "CCIR601 sampling not implemented yet",  // 25
    "Too many color components: ?, max ?",  // 26
    "Unsupported color conversion request",  // 27
    "Bogus DAC index ?",  // 28
    "Bogus DAC value ?",  // 29
    "Bogus DHT index ?",  // 30
    "Bogus DQT index ?",  // 31
    "Empty JPEG image (DNL not supported)",  // 32
    "Read from EMS failed",  // 33
    "Write to EMS failed",  // 34
    "Didn't expect more than one scan",  // 35
    "Input file read error",  // 36
    "Output file write error --- out of disk space?",  // 37
    "Fractional sampling not implemented yet",  // 38
    "Huffman code size table overflow",  // 39
    "Missing Huffman code table entry",  // 40
    "Maximum supported image dimension is ? pixels",  // 41
    "Empty input file",  // 42
    "Premature end of input file",  // 43
    "Cannot transcode due to multiple use of quantization table ?",  // 44
    "Scan script does not transmit all data",  // 45
    "Invalid color quantization mode change",  // 46
    "Requested features are incompatible",  // 47
    "Requested feature was omitted at compile time",  // 48
    "Backing store not supported",  // 49
    "Huffman table ? was not defined",  // 50
    "JPEG datastream contains no image",  // 51
    "Quantization table ? was not defined",  // 52
    "Not a JPEG file: starts with ?",  // 53
    "Insufficient memory (case ?)",  // 54
    "Cannot quantize more than ? color components",  // 55
    "Cannot quantize to fewer than ? colors",  // 56
    "Cannot quantize to more than ? colors",  // 57
    "Invalid JPEG file structure: two SOF markers",  // 58
    "Invalid JPEG file structure: missing SOS marker",  // 59
    "Unsupported JPEG process: SOF type ?",  // 60
    "Invalid JPEG file structure: two SOI markers",  // 61
    "Invalid JPEG file structure: SOS before SOF",  // 62
    "Failed to create temporary file ?",  // 63
    "Read failed on temporary file",  // 64
    "Seek failed on temporary file",  // 65
    "Write failed on temporary file --- out of disk space?",  // 66
    "Application transferred too few scanlines",  // 67
    "Unsupported marker type ?",  // 68
    "Virtual array controller messed up",  // 69
    "Image too wide for this implementation",  // 70
    "Read from XMS failed",  // 71
    "Write to XMS failed",  // 72
    "",  // 73
    "",  // 74
    "Caution: quantization tables are too coarse for baseline JPEG",  // 75
    "Adobe APP14 marker: version ?, flags ?, transform ?",  // 76
    "Unknown APP0 marker (not JFIF), length ?",  // 77
    "Unknown APP14 marker (not Adobe), length ?",  // 78
    "Define Arithmetic Table ?: ?",  // 79
    "Define Huffman Table ?",  // 80
    "Define Quantization Table ?  precision ?",  // 81
    "Define Restart Interval ?",  // 82
    "Freed EMS handle ?",  // 83
    "Obtained EMS handle ?",  // 84
    "End Of Image",  // 85
    "        ?",  // 86
    "JFIF APP0 marker: version ?, density ?x?  ?",  // 87
    "Warning: thumbnail image size does not match data length ?",  // 88
    "JFIF extension marker: type ?, length ?",  // 89
    "    with ? x ? thumbnail image",  // 90
    "Miscellaneous marker ?, length ?",  // 91
    "Unexpected marker ?",  // 92
    "        ?",  // 93
    "Quantizing to ? = ?*?*? colors",  // 94
    "Quantizing to ? colors",  // 95
    "Selected ? colors for quantization",  // 96
    "At marker ?, recovery action ?",  // 97
    "RST?",  // 98
    "Smoothing not supported with nonstandard sampling ratios",  // 99
    "Start Of Frame ?: width=?, height=?, components=?",  // 100
    "    Component ?: ?hx?v q=?",  // 101
    "Start of Image",  // 102
    "Start Of Scan: ? components",  // 103
    "    Component ?: dc=? ac=?",  // 104
    "  Ss=?, Se=?, Ah=?, Al=?",  // 105
    "Closed temporary file ?",  // 106
    "Opened temporary file ?",  // 107
    "JFIF extension marker: JPEG-compressed thumbnail image, length ?",  // 108
    "JFIF extension marker: palette thumbnail image, length ?",  // 109
    "JFIF extension marker: RGB thumbnail image, length ?",  // 110
    "Unrecognized component IDs ?, assuming YCbCr",  // 111
    "Freed XMS handle ?",  // 112
    "Obtained XMS handle ?",  // 113
    "Unknown Adobe color transform code ?",  // 114
    "Inconsistent progression sequence for component ? coefficient ?",  // 115
    "Corrupt JPEG data: ? extraneous bytes before marker ?",  // 116
    "Corrupt JPEG data: premature end of data segment",  // 117
    "Corrupt JPEG data: bad Huffman code",  // 118
    "Warning: unknown JFIF revision number ?",  // 119
    "Premature end of JPEG file",  // 120
    "Corrupt JPEG data: found marker ? instead of RST?",  // 121
    "Invalid SOS parameters for sequential JPEG",  // 122
    "Application transferred too many scanlines",  // 123
};

}  // namespace

std::string VXJpegMessageText(int32_t Code) {
  if (Code < 0 || Code > 123) return "Corrupted";
  return kMessages[Code];
}

namespace vxjpeg {

namespace {

TErrorMgr* ErrOf(j_common_ptr Info) { return reinterpret_cast<TErrorMgr*>(Info->err); }

void ErrorExit(j_common_ptr Info) {
  TErrorMgr* err = ErrOf(Info);
  const int code = err->pub.msg_code;
  if (err->AbortFlag) *err->AbortFlag = true;
  if (code == kTooFewScanlines) return;
  err->LastError = code;
  if (err->JumpSet) longjmp(err->Jump, 1);
  // Not reachable through the guarded calls; a codec error with no guard
  // ends the process rather than returning into the codec.
  std::abort();
}

void EmitMessage(j_common_ptr Info, int Level) {
  if (Level != -1) return;
  ++Info->err->num_warnings;
  ErrOf(Info)->LastWarning = Info->err->msg_code;
}

void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* Buffer) {
  if (Buffer) Buffer[0] = 0;
}

void ResetErrorMgr(j_common_ptr Info) {
  Info->err->num_warnings = 0;
  Info->err->msg_code = 0;
}

// ---- source ----

TSourceMgr* SrcOf(j_decompress_ptr Info) { return reinterpret_cast<TSourceMgr*>(Info->src); }

void InitSource(j_decompress_ptr Info) { SrcOf(Info)->StartOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr Info) {
  TSourceMgr* src = SrcOf(Info);
  int64_t got = 0;
  try {
    got = src->Stream->Read(src->Buffer, int64_t(sizeof src->Buffer));
  } catch (...) {
    got = 0;
  }
  if (got <= 0) {
    if (src->StartOfFile && src->AbortFlag) *src->AbortFlag = true;
    src->Buffer[0] = 0xFF;
    src->Buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->Buffer;
  src->pub.bytes_in_buffer = size_t(got);
  src->StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr Info, long Count) {
  if (Count <= 0) return;
  TSourceMgr* src = SrcOf(Info);
  while (Count > long(src->pub.bytes_in_buffer)) {
    Count -= long(src->pub.bytes_in_buffer);
    FillInputBuffer(Info);
  }
  src->pub.next_input_byte += size_t(Count);
  src->pub.bytes_in_buffer -= size_t(Count);
}

void TermSource(j_decompress_ptr) {}

// ---- destination ----

TDestMgr* DestOf(j_compress_ptr Info) { return reinterpret_cast<TDestMgr*>(Info->dest); }

void WriteOut(TDestMgr* dest, size_t Count) {
  int64_t put = 0;
  try {
    put = dest->Stream->Write(dest->Buffer, int64_t(Count));
  } catch (...) {
    put = 0;
  }
  if (put != int64_t(Count) && dest->AbortFlag) *dest->AbortFlag = true;
}

void InitDestination(j_compress_ptr Info) {
  TDestMgr* dest = DestOf(Info);
  dest->pub.next_output_byte = dest->Buffer;
  dest->pub.free_in_buffer = sizeof dest->Buffer;
}

boolean EmptyOutputBuffer(j_compress_ptr Info) {
  TDestMgr* dest = DestOf(Info);
  WriteOut(dest, sizeof dest->Buffer);
  dest->pub.next_output_byte = dest->Buffer;
  dest->pub.free_in_buffer = sizeof dest->Buffer;
  return TRUE;
}

void TermDestination(j_compress_ptr Info) {
  TDestMgr* dest = DestOf(Info);
  const size_t used = sizeof dest->Buffer - dest->pub.free_in_buffer;
  if (used > 0) WriteOut(dest, used);
}

}  // namespace

void InitErrorMgr(TErrorMgr& Err, bool* AbortFlag) {
  jpeg_std_error(&Err.pub);
  Err.pub.error_exit = &ErrorExit;
  Err.pub.emit_message = &EmitMessage;
  Err.pub.output_message = &OutputMessage;
  Err.pub.format_message = &FormatMessage;
  Err.pub.reset_error_mgr = &ResetErrorMgr;
  Err.AbortFlag = AbortFlag;
  Err.JumpSet = false;
  Err.LastError = 0;
  Err.LastWarning = 0;
}

void AttachSource(j_decompress_ptr Info, TSourceMgr& Src, TStream* Stream, bool* AbortFlag) {
  Src.pub.init_source = &InitSource;
  Src.pub.fill_input_buffer = &FillInputBuffer;
  Src.pub.skip_input_data = &SkipInputData;
  Src.pub.resync_to_restart = &jpeg_resync_to_restart;
  Src.pub.term_source = &TermSource;
  Src.pub.bytes_in_buffer = 0;
  Src.pub.next_input_byte = nullptr;
  Src.Stream = Stream;
  Src.AbortFlag = AbortFlag;
  Info->src = &Src.pub;
}

void AttachDest(j_compress_ptr Info, TDestMgr& Dest, TStream* Stream, bool* AbortFlag) {
  Dest.pub.init_destination = &InitDestination;
  Dest.pub.empty_output_buffer = &EmptyOutputBuffer;
  Dest.pub.term_destination = &TermDestination;
  Dest.Stream = Stream;
  Dest.AbortFlag = AbortFlag;
  Info->dest = &Dest.pub;
}

}  // namespace vxjpeg
