#!/usr/bin/env bash
# cmake --install puts a bundle that hosts find where it says it will.
#   lv2_install.sh BUILD_DIR INSTALL_DIR
set -euo pipefail
build=$1 dir=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" >/dev/null
bundle=$stage$dir/kt412.lv2
for f in manifest.ttl kt412.ttl kt412_dsp.so; do
  [[ -s $bundle/$f ]] || { echo "FAIL: $bundle/$f missing"; exit 1; }
done
if command -v lv2ls >/dev/null; then
  LV2_PATH=$stage$dir:/usr/lib/lv2 lv2ls | grep -qx 'urn:quorvane:kt412' || { echo "FAIL: lv2ls does not list the plug-in"; exit 1; }
fi
echo "installed into $dir/kt412.lv2"
