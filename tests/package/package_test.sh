#!/usr/bin/env bash
# The library as a user's project takes it, on a PNG and a JPEG of tests/data:
#   package_test.sh install SOURCE BUILD CXX
#     installs BUILD into a temporary prefix (only what a user needs), then
#     builds the programs of this folder through find_package(Vexlane), through
#     pkg-config, and by naming the installed archives;
#   package_test.sh subdirectory SOURCE BUILD CXX [LAUNCHER]
#     builds them in a project that takes the checkout in with add_subdirectory
#     (in BUILD/package-subdirectory, kept so that a later run builds only what
#     changed).
# sizes.cpp starts the library with TVexlaneLibrary and must work every way;
# sizes_guard.cpp uses the core's guard only: it works through the CMake
# package and pkg-config, and must raise an error naming the missing start-up
# when the archives are named by hand.
set -euo pipefail
mode=$1 src=$2 build=$3 cxx=$4 launcher=${5:-}
here=$src/tests/package
png=$src/tests/data/pngsuite/basn6a08.png
jpg=$src/tests/data/photo_48x30.jpg
expected="$png 32x32
$jpg 48x30"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }
# check NAME PROGRAM: the program loads both files and prints their sizes.
check() {
  local out rc=0
  out=$("$2" "$png" "$jpg" 2>&1) || rc=$?
  [ $rc -eq 0 ] || fail "$1: exit code $rc: $out"
  [ "$out" = "$expected" ] || fail "$1 printed: $out"
  echo "ok: $1"
}
# project NAME DIR BINARY [cmake options]: configures and builds a user's project.
project() {
  local name=$1 dir=$2 bin=$3
  shift 3
  cmake -S "$dir" -B "$bin" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" "$@" >"$tmp/$name.log" 2>&1 ||
    { cat "$tmp/$name.log"; fail "$name: configure"; }
  cmake --build "$bin" >"$tmp/$name.log" 2>&1 || { tail -50 "$tmp/$name.log"; fail "$name: build"; }
}

case "$mode" in
install)
  prefix=$tmp/prefix
  cmake --install "$build" --prefix "$prefix" >/dev/null
  # Only what a user needs: headers, archives, package files and the program.
  extra=$(cd "$prefix" && find . -type f | sed 's|^\./||' | grep -Ev \
    '^(include/vexlane/([a-z0-9_]+/)?[a-z0-9_]+\.h|lib/libvexlane_[a-z0-9_]+\.a|lib/cmake/Vexlane/Vexlane[A-Za-z0-9_-]*\.cmake|lib/pkgconfig/vexlane(-x11)?\.pc|bin/tarvello)$' || true)
  [ -z "$extra" ] || fail "installed beyond the library and the program: $extra"
  [ -f "$prefix/include/vexlane/core/bitmap.h" ] && [ -f "$prefix/include/vexlane/io/vexlaneio.h" ] ||
    fail "headers missing under include/vexlane/"

  # Every installed header compiles on its own with only include/ (and what
  # vexlane.pc names) on the path.
  cflags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags vexlane)
  (cd "$prefix/include" && find vexlane -name '*.h' | sort) >"$tmp/headers"
  bad=$(xargs -P "$(nproc)" -I{} sh -c \
    'echo "#include <{}>" | "$0" -std=c++20 -fsyntax-only -x c++ $1 - >/dev/null 2>&1 || echo {}' \
    "$cxx" "$cflags" <"$tmp/headers")
  [ -z "$bad" ] || fail "installed headers that do not compile on their own: $bad"
  echo "ok: $(wc -l <"$tmp/headers") installed headers"

  project find_package "$here/find_package" "$tmp/find_package" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix"
  check "find_package: TVexlaneLibrary" "$tmp/find_package/sizes"
  check "find_package: TVXLibraryGuard" "$tmp/find_package/sizes_guard"

  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  for p in sizes sizes_guard; do
    "$cxx" -std=c++20 -O1 "$here/$p.cpp" -o "$tmp/pc_$p" $(pkg-config --cflags --libs --static vexlane) ||
      fail "pkg-config: $p does not build"
  done
  check "pkg-config: TVexlaneLibrary" "$tmp/pc_sizes"
  check "pkg-config: TVXLibraryGuard" "$tmp/pc_sizes_guard"
  # The whole library never needs Xlib; the real display comes with
  # vexlane-x11 alone.
  if readelf -d "$tmp/pc_sizes" | grep -q 'libX11'; then fail "vexlane.pc pulls in Xlib"; fi
  echo "ok: vexlane.pc needs no Xlib"
  # libgphoto2 is opened at run time when cameras are first listed.
  if readelf -d "$tmp/pc_sizes" | grep -q 'libgphoto2'; then fail "vexlane.pc links libgphoto2"; fi
  echo "ok: vexlane.pc needs no libgphoto2"
  if [ -f "$prefix/lib/pkgconfig/vexlane-x11.pc" ]; then
    "$cxx" -std=c++20 -O1 "$here/x11_open.cpp" -o "$tmp/pc_x11" $(pkg-config --cflags --libs --static vexlane-x11) ||
      fail "pkg-config: x11_open does not build"
    readelf -d "$tmp/pc_x11" | grep -q 'libX11' || fail "vexlane-x11.pc does not link Xlib"
    out=$(env -u DISPLAY VEXLANE_DISPLAY=x11 "$tmp/pc_x11" 2>&1) || fail "x11_open: $out"
    [[ "$out" == *"VEXLANE_DISPLAY=x11"*"headless"* ]] || fail "x11_open without a server printed: $out"
    echo "ok: vexlane-x11.pc adds the display"
  fi

  # The README's example, as printed there: in a folder holding its
  # photo.png, with photo.jpg missing and then not an image, it reports each
  # and ends normally.
  sed -n '/^## Using the library/,/^## /p' "$src/README.md" | sed -n '/^```cpp$/,/^```$/p' | sed '1d;$d' \
    >"$tmp/readme.cpp"
  grep -q 'int main' "$tmp/readme.cpp" || fail "README: no example program under Using the library"
  "$cxx" -std=c++20 -O1 "$tmp/readme.cpp" -o "$tmp/readme" $(pkg-config --cflags --libs --static vexlane) ||
    fail "README: the example does not build"
  mkdir "$tmp/readme-run"
  cp "$png" "$tmp/readme-run/photo.png"
  rc=0
  out=$(cd "$tmp/readme-run" && "$tmp/readme" 2>&1) || rc=$?
  [ $rc -eq 0 ] && [ "$out" = "photo.png 32x32
Cannot open file \"$tmp/readme-run/photo.jpg\". No such file or directory" ] ||
    fail "README: the example on a missing file: exit code $rc: $out"
  printf 'not a picture' >"$tmp/readme-run/photo.jpg"
  rc=0
  out=$(cd "$tmp/readme-run" && "$tmp/readme" 2>&1) || rc=$?
  [ $rc -eq 0 ] && [ "$out" = "photo.png 32x32
photo.jpg: not an image that can be read" ] || fail "README: the example on a file that is no image: exit code $rc: $out"
  echo "ok: README's example reports a missing file and one that is no image"

  # The archives named by hand, in the order vexlane.pc lists them, and the
  # libraries they use.
  # Libraries without a pkg-config file of their own (the print system's)
  # are named by vexlane.pc directly.
  archives=() direct=()
  for l in $(pkg-config --libs-only-l vexlane); do
    case "$l" in
      -lvexlane_*) archives+=("$prefix/lib/lib${l#-l}.a") ;;
      *) direct+=("$l") ;;
    esac
  done
  externals="$(pkg-config --libs --static $(pkg-config --print-requires vexlane | awk '{print $1}')) ${direct[*]}"
  for p in sizes sizes_guard; do
    "$cxx" -std=c++20 -O1 -I"$prefix/include" "$here/$p.cpp" -o "$tmp/ar_$p" "${archives[@]}" $externals -pthread ||
      fail "archives by hand: $p does not build"
  done
  check "archives by hand: TVexlaneLibrary" "$tmp/ar_sizes"
  rc=0
  out=$("$tmp/ar_sizes_guard" "$png" "$jpg" 2>&1) || rc=$?
  [ $rc -eq 2 ] && [[ "$out" == "EVXException: No codec module is linked into this program"* ]] ||
    fail "archives by hand without TVexlaneLibrary: exit code $rc: $out"
  echo "ok: archives by hand without TVexlaneLibrary raise: $out"
  ;;
subdirectory)
  opts=()
  [ -n "$launcher" ] && opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DCMAKE_C_COMPILER_LAUNCHER="$launcher")
  # No optimisation: what is tested is that the sub-project configures, builds
  # and links; its code is tested elsewhere.
  bin=$build/package-subdirectory
  project subdirectory "$here/subdirectory" "$bin" -DCMAKE_BUILD_TYPE= -DVEXLANE_SOURCE_DIR="$src" "${opts[@]}"
  [ ! -e "$bin/vexlane/tarvello" ] && [ ! -e "$bin/vexlane/tests" ] ||
    fail "the sub-project built its program or tests"
  check "add_subdirectory: TVexlaneLibrary" "$bin/sizes"
  check "add_subdirectory: TVXLibraryGuard" "$bin/sizes_guard"
  ;;
*) fail "unknown mode $mode" ;;
esac
