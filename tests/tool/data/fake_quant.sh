#!/bin/sh
# Stand-in for the quantiser in tests: appends its arguments to $FAKEQUANT_LOG (one a
# line), waits $FAKEQUANT_SLEEP seconds when set, and ends with the exit code
# $FAKEQUANT_EXIT (0 when unset).
if [ -n "$FAKEQUANT_LOG" ]; then
  for a in "$@"; do printf '%s\n' "$a"; done >> "$FAKEQUANT_LOG"
fi
if [ -n "$FAKEQUANT_SLEEP" ]; then sleep "$FAKEQUANT_SLEEP"; fi
exit "${FAKEQUANT_EXIT:-0}"
