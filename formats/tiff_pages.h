// Page tools on whole TIFF streams that decode no pixels: deleting pages in
// place (the kept pages are rebuilt with their data and metadata directories
// packed after them).
#pragma once

#include <cstdint>
#include <span>
#include <string>

class TStream;
class TIOParamsVals;

// Removes the pages whose indexes Pages lists in ascending order from the
// classic TIFF that starts at position 0 of Stream, which is rewritten in
// place in the file's byte order. Returns the number of pages kept. A stream
// that is not a classic TIFF, or whose kept pages cannot be copied whole
// (an offset or count outside the stream, fewer byte counts than offsets, a
// chain that returns to an earlier directory), is left unchanged and the
// result is 0.
int32_t VXDeleteTIFFStreamPages(TStream* Stream, std::span<const int32_t> Pages);
int32_t VXDeleteTIFFStreamPage(TStream* Stream, int32_t Index);
// As VXDeleteTIFFStreamPage, but -1 (stream unchanged) when the stream could
// not be rebuilt, so that a file whose last page went (0) is told apart.
int32_t VXTryDeleteTIFFStreamPage(TStream* Stream, int32_t Index);

// Removes page Index of a TIFF file; the rebuilt file replaces it whole.
// Returns the pages left (0 with the file unchanged when it could not be
// rebuilt).
int32_t VXDeleteTIFFFilePageInPlace(const std::string& FileName, int32_t Index);

// Replaces the EXIF data of page PageIndex of a TIFF by the EXIF block of
// IOParams: its basic tags (maker, model, dates, resolution, ...) and its
// EXIF and GPS directories; a tag the block lacks keeps the page's own value.
// The TIFF comes from InputStream (from its position) or else from
// InputFileName; the result goes to OutputStream (the input's position when
// it is the input) or else replaces OutputFileName whole. False, with nothing
// written, when the input holds no such page.
bool VXInjectEXIFIntoTIFF(TStream* InputStream, TStream* OutputStream, const std::string& InputFileName,
                          const std::string& OutputFileName, int32_t PageIndex, TIOParamsVals& IOParams);
