#!/usr/bin/env bash
# Runs a host program of ours for the editor library on a private Xvfb.
#   ui_cycles.sh PROGRAM ARGS...
set -uo pipefail
if ! command -v Xvfb >/dev/null; then echo "SKIP: Xvfb missing"; exit 77; fi
work=$(mktemp -d)
export HOME=$work KT412_PRESET_DIR=$work/presets/
unset GDK_SCALE  # the desktop's scale stays out of the host's
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "FAIL: Xvfb did not start"; exit 1; }
DISPLAY=":$(cat "$work/display")" "$@"
