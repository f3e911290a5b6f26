#!/usr/bin/env bash
# Quick start, first command: install what is missing, build in Release and
# render the built-in demo pattern to kt412-demo.wav in the current folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# build/release is shared with scripts/test.sh: the options set here are the
# ones both want, and the tests it may have configured stay (only kt412 is built).
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DKT_SANITIZE=OFF -DKT_BENCH=OFF \
  -DKT_FUZZ=OFF >/dev/null
cmake --build "$root/build/release" --target kt412 -j"$(nproc)"
"$root/build/release/apps/kt412/kt412" render "$@"
