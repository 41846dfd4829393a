#!/bin/sh
# Stand-in for the quantiser in tests: appends its arguments to $FAKEQUANT_LOG (one a
# line) and its process id to $FAKEQUANT_MARK when set, rewrites the file it was given
# the way the real one does (through "<file>.tmp", renamed over it), waiting
# $FAKEQUANT_SLEEP seconds in between when set, and ends with the exit code
# $FAKEQUANT_EXIT (0 when unset; the file is then left alone unless the code is 0).
# With $FAKEQUANT_SLEEP_RUN = n only the n-th and later runs (lines in $FAKEQUANT_MARK) wait.
# A file whose path contains $FAKEQUANT_FAIL (when set) fails with exit code 99 after a second.
if [ -n "$FAKEQUANT_LOG" ]; then
  for a in "$@"; do printf '%s\n' "$a"; done >> "$FAKEQUANT_LOG"
fi
if [ -n "$FAKEQUANT_MARK" ]; then echo $$ >> "$FAKEQUANT_MARK"; fi
for last in "$@"; do :; done
code=${FAKEQUANT_EXIT:-0}
if [ -n "$FAKEQUANT_FAIL" ]; then
  case "$last" in *"$FAKEQUANT_FAIL"*) sleep 1; exit 99 ;; esac
fi
if [ "$code" = 0 ] && [ -f "$last" ]; then cat "$last" > "$last.tmp"; fi
runs=0
if [ -n "$FAKEQUANT_MARK" ]; then runs=$(wc -l < "$FAKEQUANT_MARK"); fi
if [ -n "$FAKEQUANT_SLEEP" ] && [ "$runs" -ge "${FAKEQUANT_SLEEP_RUN:-0}" ]; then sleep "$FAKEQUANT_SLEEP"; fi
if [ "$code" = 0 ] && [ -f "$last.tmp" ]; then mv -f "$last.tmp" "$last"; fi
exit "$code"
