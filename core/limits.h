#pragma once
// Size limits that keep a small or hostile file from claiming the machine:
// the pixels and bytes of one image, the text kept per image and the size of
// one metadata block. The values live in the settings object
// (MaxImagePixels, MaxTextSize, MaxMetadataSize); readers ask here before
// they allocate for what a file declares.

#include <cstdint>
#include <string>

// True when an image of Width x Height pixels at BitsPerPixel (every plane the
// image will hold counted: an alpha channel adds 8) has at most MaxImagePixels
// pixels and its bytes fit VXStorageSizeAllowed. Sizes below 1 are refused.
bool VXImageSizeAllowed(int64_t Width, int64_t Height, int64_t BitsPerPixel);

// The same, raising EVXException "Image too large: W x H pixels" when refused.
void VXCheckImageSize(int64_t Width, int64_t Height, int64_t BitsPerPixel);

// True when Bytes of image storage can be had at all: not more than the
// available memory plus the free space of the temporary folder (the settings'
// DefTempPath, else the system's). Blocks up to 64 MiB are always allowed (the
// allocation itself reports a shortage), so small bitmaps cost no system query.
bool VXStorageSizeAllowed(int64_t Bytes);

// Available memory plus the free bytes of the temporary folder.
int64_t VXFreeStorage();

// True when Present bytes of image data can hold at least a sixteenth of an
// image that decodes to Needed bytes, at the format's best ratio of
// MaxExpansion decoded bytes per data byte (1 for uncompressed data). A file
// that holds far less than its header declares is refused as damaged before
// anything is allocated for it; a merely truncated one still reads what is
// there.
bool VXDeclaredDataPlausible(int64_t Present, int64_t Needed, int64_t MaxExpansion);

// True when a metadata block of Size bytes (colour profile, EXIF block,
// annotations, one PNG chunk) may be kept: 0 <= Size <= MaxMetadataSize.
bool VXMetadataSizeAllowed(int64_t Size);

// The text budget of one image: starts at MaxTextSize; Take(n) uses n bytes
// and is true when they fit, false (nothing used) when they do not, so that
// a value beyond the budget is dropped whole.
class TVXTextBudget {
 public:
  TVXTextBudget();
  explicit TVXTextBudget(int64_t Bytes) : fLeft(Bytes < 0 ? 0 : Bytes) {}
  bool Take(int64_t n) {
    if (n < 0 || n > fLeft) return false;
    fLeft -= n;
    return true;
  }
  int64_t Left() const { return fLeft; }

 private:
  int64_t fLeft;
};
