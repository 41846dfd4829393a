// Downloading images from http://, https:// and ftp:// addresses (libcurl).
#pragma once

#include <cstdint>
#include <string>

#include "core/vxdefs.h"

class TStream;

// An address taken apart the way the download does it.
enum TVXURLService { vxusHTTP, vxusHTTPS, vxusFTP };
struct TVXURLParts {
  TVXURLService Service = vxusHTTP;
  std::string Host;
  int32_t Port = 0;
  std::string UserName, Password;  // from "user:password@" before the host
  std::string ObjectPath;          // from the first "/" after the host on
};

// Scheme (case-insensitive "http://", "https://" or "ftp://"; default ports
// 80, 443 and 21), server part up to the first "/", credentials before an
// "@" (a ":" must stand before it), then host and port (a port that is not a
// number is 80). False for another scheme, an address without "/" after the
// server part, credentials without ":", or a host that is empty or holds
// characters no host name or address has.
bool VXSplitURL(const std::string& URL, TVXURLParts& Parts);

// Appends the resource's bytes to Stream. With ProxyAddress set the request
// goes through that proxy with ProxyUser and ProxyPassword as its
// credentials, and the address's own credentials are not used. OnProgress
// (when given) gets the percentage of the announced length after each piece
// of up to 64 KiB; a resource of unknown length is read in pieces of up to
// 1 KiB without progress. Aborting (when given) is checked between pieces and
// while waiting. ContentKind receives the part of the Content-Type after its
// "/" (HTTP) or the remote file's extension, at most 10 characters (FTP).
// False when the address is not understood, the Internet library is not
// ready, the connection fails or stalls for URLTimeout seconds, the server
// answers with a status of 400 or more, the body is shorter than announced,
// or the transfer is aborted.
bool VXDownloadURL(const std::string& URL, TStream* Stream, const std::string& ProxyAddress,
                   const std::string& ProxyUser, const std::string& ProxyPassword, const TVXProgressEvent& OnProgress,
                   void* Sender, bool* Aborting, std::string& ContentKind);

// Make the Internet library ready (at the I/O start-up) and release it (at
// the shut-down); downloads fail while it is not ready.
void VXLoadWinINet();
void VXFreeWinINet();
