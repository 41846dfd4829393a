#!/usr/bin/env python3
"""The listing a portable-device browser must give for a folder-tree device,
computed straight from the folder.

Usage: wpd_oracle.py DEVICE_FOLDER START_ID TYPES EXTS SEARCH MAXDEPTH SORTED

START_ID is "" (the device's top level) or an object ID ("/Card/DCIM");
TYPES holds "f" for files and/or "d" for folders; EXTS is a ";"-separated
list of "*.ext" or ".ext" items ("" for none); SEARCH the name pattern
("" for none); SORTED "1" when the result is sorted. Prints one line per
listed object: kind (d or f), file name, path.
"""
import os
import sys


def upper_az(text):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in text)


def children(device, rel):
    folder = os.path.join(device, *rel)
    out = []
    for entry in sorted(os.scandir(folder), key=lambda e: e.name.encode()):
        name = entry.name
        if name.startswith(".vxwpd-"):
            continue
        if entry.is_symlink() and entry.is_dir():
            continue  # symbolic links to folders are not followed
        if entry.is_dir():
            kind = "d"
        elif entry.is_file():
            kind = "f"
        else:
            continue
        if not rel and kind != "d":
            continue  # the device's top level holds storages only
        out.append((name, kind))
    return out


def ext_in_list(name, exts):
    dot = name.rfind(".")
    if dot < 0:
        return False
    ext = name[dot:].lower()
    if len(ext) < 2:
        return False
    for item in exts.lower().split(";"):
        if item in (ext, "*" + ext):
            return True
    return False


def matches(pattern, name):
    if not pattern or not name:
        return False
    if pattern == "*":
        return True
    rest = pattern.upper()
    leading = rest.startswith("*")
    if leading:
        rest = rest[1:]
    trailing = rest.endswith("*")
    if trailing:
        rest = rest[:-1]
    name = name.upper()
    if leading:
        return rest in name
    if trailing:
        return name.startswith(rest)
    return name == rest


def walk(device, rel, prefix, types, exts, search, max_depth, depth, out):
    for name, kind in children(device, rel):
        path = name if not prefix else (prefix if prefix.endswith("\\") else prefix + "\\") + name
        listed = kind in types and (not exts or ext_in_list(name, exts)) and (not search or matches(search, name))
        if listed:
            out.append((kind, name, path))
        if kind == "d" and (max_depth == -1 or depth < max_depth):
            walk(device, rel + [name], path, types, exts, search, max_depth, depth + 1, out)


def main():
    device, start, types, exts, search, max_depth, sort = sys.argv[1:8]
    rel = [part for part in start.split("/") if part]
    out = []
    walk(device, rel, start, types, exts, search, int(max_depth), 0, out)
    if sort == "1":
        out.sort(key=lambda o: (o[0] != "d", upper_az(o[1]).encode()))
    for kind, name, path in out:
        print(f"{kind}\t{name}\t{path}")


main()
