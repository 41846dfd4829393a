#!/usr/bin/env bash
# Makes the resource-only DLLs of the resource tests and fuzz seeds from
# res.rc: images drawn with Pillow, icons and cursors by icotool, the
# resources compiled by the MinGW windres and linked by the MinGW ld, once as
# PE32 (res32.dll) and once as PE32+ (res64.dll), and a damaged copy
# (loop64.dll, below). Run from this folder:
#   bash generate.sh
# Needs python3-pil, icoutils, binutils-mingw-w64-x86-64 and python3-pefile.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
d = sys.argv[1]
def grid(w, h, mode, f):
    im = Image.new(mode, (w, h))
    im.putdata([f(x, y) for y in range(h) for x in range(w)])
    return im
grid(16, 16, "RGBA", lambda x, y: (x * 16, y * 16, 128, 255 if x > 2 else 0)).save(d + "/i16.png")
grid(32, 32, "RGBA", lambda x, y: (255, x * 8, y * 8, 255)).save(d + "/i32.png")
grid(256, 256, "RGBA", lambda x, y: (0, 0, 255 if (x // 64 + y // 64) % 2 else 0, 255)).save(d + "/i256.png")
grid(48, 48, "RGBA", lambda x, y: (0, 200, 0, 255)).save(d + "/s48.png")
grid(32, 32, "RGBA", lambda x, y: (0, 0, 0, 255 if x == y else 0)).save(d + "/c32.png")
grid(5, 3, "RGB", lambda x, y: (x * 50, y * 100, 255 - x * 40)).save(d + "/logo.png")
PY
icotool -c -o "$work/app.ico" "$work/i16.png" "$work/i32.png" -r "$work/i256.png"
icotool -c -o "$work/small.ico" "$work/s48.png"
icotool -c --cursor -X 3 -Y 4 -o "$work/arrow.cur" "$work/c32.png"
cp "$work/logo.png" logo.png
cp res.rc "$work/"
cd "$work"
x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED -F pe-i386 res.rc -O coff -o res32.o
x86_64-w64-mingw32-ld -m i386pe -T /usr/lib/x86_64-linux-gnu/ldscripts/i386pe.x --dll --no-insert-timestamp -e 0 -s -o res32.dll res32.o
x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED -F pe-x86-64 res.rc -O coff -o res64.o
x86_64-w64-mingw32-ld -m i386pep --dll --no-insert-timestamp -e 0 -s -o res64.dll res64.o
cd - >/dev/null
cp "$work/res32.dll" "$work/res64.dll" .
for f in app.ico arrow.cur; do cp "$work/$f" "$f"; done
# loop64.dll: res64.dll whose directory refers back into itself: the first
# type's entry points at the root, and the first name of the icons points at
# the icon type's own directory.
/usr/bin/python3 - <<'PY'
import pefile
pe = pefile.PE("res64.dll")
root = pe.get_offset_from_rva(pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress)
data = bytearray(pe.__data__)
data[root + 20:root + 24] = (0x80000000).to_bytes(4, "little")
icons = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 3][0]
rel = icons.struct.OffsetToData & 0x7FFFFFFF
data[root + rel + 20:root + rel + 24] = (0x80000000 | rel).to_bytes(4, "little")
open("loop64.dll", "wb").write(data)
PY
