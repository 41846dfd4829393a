#pragma once
// The thumbnail the shell keeps of a file, through the shell port of the
// window layer (winui/win_shell.h): the file's folder must exist, the
// provider set there answers with a bitmap or none.

#include <cstdint>
#include <string>

class TBitmap;

// Bitmap takes the shell's thumbnail of FileName at about Width x Height,
// as a 24-bit bitmap; true then. False (Bitmap unchanged) when the folder
// does not exist, the shell has no thumbnail, or anything on the way raises.
bool VXGetExplorerThumbnail(const std::string& FileName, TBitmap* Bitmap, int32_t Width, int32_t Height);
