#!/usr/bin/env bash
# Configuring on machines that lack test tools (libuemf is hidden by hiding
# the system include folder, where uemf.h lies, from find_path; GoogleTest by
# keeping find_package from it):
#   configure_test.sh SOURCE CMAKE
# - with GoogleTest but without libuemf, the main job's configure (the cmake
#   line of scripts/run-samples, options read from the script) succeeds and
#   looks for no test tool;
# - without either, the test configure fails naming both in one message.
set -euo pipefail
src=$1 cmake=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

no_uemf=(-DCMAKE_IGNORE_PATH=/usr/include)
no_tools=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON "${no_uemf[@]}")

line=$(grep -E '^cmake -S \. -B build ' "$src/scripts/run-samples") || fail "no configure line in scripts/run-samples"
line=${line#cmake -S . -B build }
line=${line%>/dev/null}
read -r -a options <<<"$line"

"$cmake" -S "$src" -B "$tmp/program" "${options[@]}" "${no_uemf[@]}" >"$tmp/program.log" 2>&1 ||
  { cat "$tmp/program.log"; fail "the main job's configure stops without the test tools"; }
looked=$(grep -E '^(GTest_DIR|VX_UEMF_[A-Z_]*|Python3_EXECUTABLE):' "$tmp/program/CMakeCache.txt" || true)
[ -z "$looked" ] || fail "the main job's configure looked for test tools: $looked"
grep -q '^build\.ninja' <(ls "$tmp/program") || fail "the main job's configure wrote no build files"
echo "ok: the main job configures without the test tools (${options[*]})"

rc=0
"$cmake" -S "$src" -B "$tmp/tests" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_TESTS=ON -DVX_BUILD_BENCH=OFF \
  "${no_tools[@]}" >"$tmp/tests.log" 2>&1 || rc=$?
[ $rc -ne 0 ] || fail "the test configure succeeded without GoogleTest and libuemf"
message=$(tr -s ' \n' ' ' <"$tmp/tests.log")
for tool in GoogleTest libuemf; do
  [[ "$message" == *"lacks: "*"$tool"* ]] || { cat "$tmp/tests.log"; fail "the test configure does not name $tool"; }
done
[ "$(grep -c 'CMake Error' "$tmp/tests.log")" -eq 1 ] || { cat "$tmp/tests.log"; fail "more than one error"; }
echo "ok: the test configure names GoogleTest and libuemf at once"
