#pragma once
// TVXViewHost: what the components below the viewer (processing, I/O) use of
// the viewer they are attached to.
//
// The viewer subsystem implements this class; the components only hold a
// pointer to it (borrowed: the viewer owns itself). There is no window code
// here: a host is whatever keeps a bitmap and, depending on its kind, a
// selection, layers or vector objects. Tests use a small fake host.
//
// A host says what kind of viewer it is (HostKind):
//   vxvhView        a plain viewer: bitmap, background, resolution, refresh;
//   vxvhImageView   a single-image viewer: also the selection (mask, flag,
//                   polygon, stream form) and the layers;
//   vxvhVectView    a vector-object viewer: also the four object streams;
//   vxvhMView       a thumbnail viewer: many images, the bitmap being the
//                   current one's; its background is its own (a component
//                   never changes it).
// The members of the later kinds have do-nothing defaults, so a host fills in
// only what its kind has; the callers ask HostKind before they use them.
//
// Lifetime: a component that attaches registers a bitmap-change handler with
// RegisterBitmapChangeEvent. The host calls it whenever its bitmap object is
// replaced (Destroying false) and once more when it is being destroyed
// (Destroying true); after that call the component forgets the host and never
// touches it again. The component removes its registration when it detaches
// or is destroyed first.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"

class TVXBitmap;
class TVXLayer;
class TVXMask;
class TStream;

// The 16 bytes of a layer's GUID, in the order the layer records store them.
using TVXLayerGUID = std::array<uint8_t, 16>;

// How a selection restored from a stream is fitted to the current image:
// only cut to its size, moved inside it first, or moved from the position of
// the layer it was saved in to the current layer's.
enum TVXResizeSelMode : uint8_t { vxrsNone, vxrsMoveToAdapt, vxrsSyncLayers };

enum TVXViewHostKind : uint8_t { vxvhView, vxvhImageView, vxvhVectView, vxvhMView };

// Whether the viewer takes selection and paste points in bitmap coordinates
// or in its client area's.
enum TVXSelectionBase : uint8_t { vxsbBitmap, vxsbClientArea };

class TVXViewHost {
 public:
  // (Owner given at registration, Destroying).
  using TVXBitmapChangeEvent = std::function<void(void* Owner, bool Destroying)>;

  TVXViewHost() = default;
  virtual ~TVXViewHost() = default;
  TVXViewHost(const TVXViewHost&) = delete;
  TVXViewHost& operator=(const TVXViewHost&) = delete;

  virtual TVXViewHostKind HostKind() const = 0;

  // ---- every viewer ----
  // The image the viewer shows (nullptr while it has none).
  virtual TVXBitmap* VXBitmap() = 0;
  // Background colour of the viewer.
  virtual TColor Background() const = 0;
  virtual void SetBackground(TColor Value) = 0;
  // Resolution of the viewer's image, dots per inch.
  virtual int32_t DpiX() const = 0;
  virtual int32_t DpiY() const = 0;
  // Repaints after the bitmap changed.
  virtual void Update() = 0;
  // Raises the viewer's image-change notification.
  virtual void ImageChange() = 0;
  // Registers Handler, called with Owner; the returned handle (never
  // nullptr) removes it again.
  virtual void* RegisterBitmapChangeEvent(TVXBitmapChangeEvent Handler, void* Owner) = 0;
  virtual void RemoveBitmapChangeEvent(void* Handle) = 0;
  // True while the viewer keeps its image in a platform bitmap, which cannot
  // hold vx8p, vx16g, vx32f, vxCMYK, vx48RGB or vxCIELab images.
  virtual bool LegacyBitmap() const { return false; }
  virtual void SetLegacyBitmap(bool Value) { (void)Value; }

  // ---- screen mapping (viewers that show their image) ----
  // A bitmap column or row in the viewer's client coordinates.
  virtual int32_t XBmp2Scr(int32_t x) const { return x; }
  virtual int32_t YBmp2Scr(int32_t y) const { return y; }
  // A client column or row in bitmap coordinates.
  virtual int32_t XScr2Bmp(int32_t x) const { return x; }
  virtual int32_t YScr2Bmp(int32_t y) const { return y; }
  // What the coordinates given to the viewer are measured in.
  virtual TVXSelectionBase SelectionBase() const { return vxsbBitmap; }
  // The horizontal zoom in per cent.
  virtual double ZoomX() const { return 100; }
  // Repaints the client rectangle x1..x2 - 1, y1..y2 - 1.
  virtual void UpdateRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    (void)x1;
    (void)y1;
    (void)x2;
    (void)y2;
  }

  // ---- window (components that work on request threads) ----
  // Whether the viewer sits in a parent window; only then do request threads
  // reach it through posted messages.
  virtual bool HasParent() const { return false; }
  // Makes sure the viewer's window exists. Called from request threads: the
  // host creates the window on its main thread and returns once it exists.
  virtual void HandleNeededOnMainThread() {}
  // Posts Msg with WParam to the viewer's window (handled later on the
  // viewer's own thread). The I/O component posts 8024 (update), 8027
  // (progress, WParam the percentage) and 8028 (end of work).
  virtual void PostMessage(uint32_t Msg, uintptr_t WParam) {
    (void)Msg;
    (void)WParam;
  }

  // Paint lock (a counter): while it is held the viewer shows nothing new.
  // UnLockPaint lowers it (never below 0), repaints when it reaches 0 and
  // answers the count left.
  virtual void LockPaint() {}
  virtual int32_t UnLockPaint() { return 0; }

  // ---- single-image viewer (vxvhImageView; a vector-object viewer is one too) ----
  // Bracket a change so that the viewer repaints once, at the outermost
  // UnLockUpdateEx.
  virtual void LockUpdate() {}
  virtual void UnLockUpdateEx() {}
  // The resolution the viewer shows its image with: both at once, or one.
  virtual void SetDPI(int32_t DpiX, int32_t DpiY) {
    (void)DpiX;
    (void)DpiY;
  }
  virtual void SetDpiX(int32_t Value) { (void)Value; }
  virtual void SetDpiY(int32_t Value) { (void)Value; }
  // Writes the layers file (CompressionFormat -1: the default compression).
  virtual void LayersSaveToFile(const std::string& FileName, int32_t CompressionFormat) {
    (void)FileName;
    (void)CompressionFormat;
  }
  // The selection mask (1 or 8 bits per pixel, the image's size); nullptr
  // when the viewer keeps none.
  virtual TVXMask* SelectionMask() { return nullptr; }
  // Whether a selection is active.
  virtual bool Selected() const { return false; }
  // The selection polygon: PolySelCount points, sub-polygons separated by a
  // point whose X is TVXMask::PolygonSeparator.
  virtual const TPoint* PolySelPoints() const { return nullptr; }
  virtual int32_t PolySelCount() const { return 0; }
  // Stores the current selection at the stream's position, and restores it.
  virtual void SaveSelectionToStream(TStream* Stream) { (void)Stream; }
  virtual bool LoadSelectionFromStream(TStream* Stream, TVXResizeSelMode Mode) {
    (void)Stream;
    (void)Mode;
    return false;
  }
  // Layers: index of the current one, the count, each one's bitmap and GUID.
  virtual int32_t LayersCurrent() const { return 0; }
  virtual int32_t LayersCount() const { return 0; }
  virtual TVXBitmap* LayerBitmap(int32_t Index) {
    (void)Index;
    return nullptr;
  }
  // The layer at Index, 0 .. LayersCount - 1 (nullptr: the host keeps no
  // layers).
  virtual TVXLayer* Layers(int32_t Index) const {
    (void)Index;
    return nullptr;
  }
  // Removes every layer but the first, which becomes a locked background
  // layer, current and cleared.
  virtual void LayersClear() {}
  // Appends a layer with a new Width x Height bitmap of PixelFormat at
  // (PosX, PosY) and makes it current; answers its index (-1: the host keeps
  // no layers).
  virtual int32_t LayersAdd(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat, int32_t PosX, int32_t PosY) {
    (void)Width;
    (void)Height;
    (void)PixelFormat;
    (void)PosX;
    (void)PosY;
    return -1;
  }
  // Every layer drawn merged at 100 % into Destination (resized to hold
  // them all).
  virtual void LayersDrawTo(TVXBitmap* Destination) { (void)Destination; }
  virtual TVXLayerGUID LayerGUID(int32_t Index) const {
    (void)Index;
    return {};
  }
  // One layer record appended at the stream's position: its length in bytes
  // (32-bit, counted from the record start), the 16-byte GUID, the layer's
  // properties, and its bitmap only with FullBitmap. LayerLoadInfo reads one
  // such record back into the layer.
  virtual void LayerSaveInfo(int32_t Index, TStream* Stream, bool FullBitmap) {
    (void)Index;
    (void)Stream;
    (void)FullBitmap;
  }
  virtual void LayerLoadInfo(int32_t Index, TStream* Stream) {
    (void)Index;
    (void)Stream;
  }
  // TVXLayer::Swap of a layer the host owns: From's image moved into To's
  // bitmap object, and From's bitmap is left empty. A host that showed
  // From's bitmap shows To's afterwards.
  virtual void LayerImageMoved(TVXLayer* From, TVXLayer* To) {
    (void)From;
    (void)To;
  }
  // All layers at once (Mode as the viewer defines it; the undo history uses
  // -2) and back.
  virtual void LayersSaveToStream(TStream* Stream, int32_t Mode) {
    (void)Stream;
    (void)Mode;
  }
  virtual bool LayersLoadFromStream(TStream* Stream) {
    (void)Stream;
    return false;
  }

  // ---- vector-object viewer (vxvhVectView) ----
  // The objects in the object stream format (ObjectIndex -3: all objects),
  // and back (0: replace them all).
  virtual void SaveToStreamVXV(TStream* Stream, int32_t ObjectIndex) {
    (void)Stream;
    (void)ObjectIndex;
  }
  virtual void LoadFromStreamVXV(TStream* Stream, int32_t ObjectIndex) {
    (void)Stream;
    (void)ObjectIndex;
  }
  // Objects and layers together (ObjectIndex -1: all), and back.
  virtual void SaveToStreamAll(TStream* Stream, int32_t ObjectIndex) {
    (void)Stream;
    (void)ObjectIndex;
  }
  virtual void LoadFromStreamAll(TStream* Stream) { (void)Stream; }
  // Layers and objects to a file (ImageCompression -1: the default).
  virtual void SaveToFileAll(const std::string& FileName, int32_t ImageCompression) {
    (void)FileName;
    (void)ImageCompression;
  }
};
