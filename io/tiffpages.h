// Whole-stream TIFF tools that decode no pixels: reading one classic
// directory for the tag reader and recognising TIFF, camera-raw TIFF and HD
// Photo content for format detection.
#pragma once

#include <cstdint>

class TStream;
class TVXTIFFIFDReader;

// Clears reader, points it at Stream (base 0), reads the 8-byte header at the
// stream's position and loads directory ImageIndex of the chain, counting the
// directories into numi. False for an unknown byte-order mark, a first offset
// of 0 or a directory that could not be loaded.
bool VXReadClassicTIFFIFD(TStream* Stream, int32_t& numi, int32_t ImageIndex, TVXTIFFIFDReader& reader);

// More than 20 bytes, an accepted header (classic or BigTIFF) and a first
// directory holding ImageWidth and ImageLength.
bool VXIsTIFFStream(TStream* Stream);
// A classic TIFF whose first directory marks camera raw data: DNGVersion, a
// colour-filter-array or linear-raw photometric value, or SubIFDs with a
// TIFF/EP StandardID on a page smaller than 200 x 200.
bool VXIsRawTIFFStream(TStream* Stream);
// A little-endian TIFF-like header whose directory holds the HD Photo tags.
bool VXIsHDPhotoStream(TStream* Stream);
