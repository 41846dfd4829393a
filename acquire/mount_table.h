// The mount table (/proc/self/mounts) and the mounted-volume devices: each
// removable volume (mounted under /media, /run/media or /mnt) that holds a
// DCIM folder is a device named "label (mount point)", a drive whose one
// storage is the volume's root, read-only when mounted so. The label is the
// name that /dev/disk/by-label gives the volume's device, else the mount
// point's last name.
#pragma once

#include <string>
#include <vector>

#include "acquire/camera_store.h"

struct TVXMountEntry {
  std::string Device;
  std::string MountPoint;
  std::string FSType;
  std::string Options;
};

// One line of the table: blank-separated fields with octal escapes ("\040"
// for a blank); at least device, mount point, file system and options.
// False for a blank line, a comment or a malformed line.
bool VXParseMountLine(const std::string& Line, TVXMountEntry& Entry);
// Every well-formed line of a table's text, in order.
std::vector<TVXMountEntry> VXReadMountTable(const std::string& Text);
// A mount point under /media, /run/media or /mnt (absolute, without "." or
// ".." names).
bool VXIsRemovableMountPoint(const std::string& MountPoint);
// The options hold "ro".
bool VXIsReadOnlyMount(const std::string& Options);

// Where the table is read: File (empty: no mounted volumes at all), with
// every path of it (mount points, /dev/disk/by-label) looked up below Root
// ("" for the real root). The default is /proc/self/mounts on the real root.
void VXSetMountTableLocation(const std::string& File, const std::string& Root);
// The device source of the mounted volumes.
void VXAddMountedVolumeDevices(std::vector<TVXStoreDevice>& Devices);
