// The Windows folder: where system libraries are looked up by file name.
//
// By default it is a folder of this process under the temporary folder that
// holds an empty file for every module the window layer carries built in, so
// that a check for a system library's file finds it there; a test or a
// program may point it anywhere else (VXSetWindowsDirectory).
#pragma once
#include <cstdint>
#include <string>

// Copies the folder (without a trailing "/") with its NUL into lpBuffer and
// answers its length; when uSize is too small, nothing is copied and the
// answer is the size needed, NUL included. 0 when the default folder cannot
// be made.
uint32_t GetWindowsDirectoryA(char* lpBuffer, uint32_t uSize);
// The folder GetWindowsDirectoryA answers from now on; "" goes back to the
// default folder.
void VXSetWindowsDirectory(const std::string& Folder);
// Adds a file name that the default folder holds (an empty file, made at
// once when the folder exists already).
void VXAddWindowsDirectoryFile(const std::string& FileName);
