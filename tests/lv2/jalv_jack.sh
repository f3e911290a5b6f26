#!/usr/bin/env bash
# jalv, the reference LV2 host, runs the bundle under a JACK server with the
# dummy driver: it must load the plug-in, answer a MIDI note from our probe
# client with sound on both outputs, and quit cleanly when its input closes.
#   jalv_jack.sh LV2_PATH PROBE DSP_LIBRARY
set -uo pipefail
lv2path=$1 probe=$2 dsp=$3
for tool in jackd jalv; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool missing (bash scripts/install-deps.sh --test installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
server="kt412test$$"
export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1 LV2_PATH=$lv2path
jackd_pid="" jalv_pid=""
cleanup() {
  exec 7>&- 2>/dev/null
  [[ -n $jalv_pid ]] && kill "$jalv_pid" 2>/dev/null
  [[ -n $jackd_pid ]] && kill "$jackd_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# -r: no real-time scheduling (none is needed on the dummy driver, and a
# CI container may not grant it).
jackd -n "$server" -r -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
for _ in $(seq 100); do
  jack_lsp >/dev/null 2>&1 && break
  sleep 0.1
done
if ! jack_lsp >/dev/null 2>&1; then
  echo "FAIL: the JACK server did not start"; cat "$work/jackd.log"; exit 1
fi

# A plug-in built with the sanitizers needs their run-times in the host.
preload=$(ldd "$dsp" | awk '/libasan|libubsan/ {print $3}' | tr '\n' ' ')
mkfifo "$work/in"
LD_PRELOAD="$preload" ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  jalv -n kt412 -x urn:quorvane:kt412 <"$work/in" >"$work/jalv.log" 2>&1 &
jalv_pid=$!
exec 7>"$work/in"

status=0
"$probe" kt412 20 || status=1

# Closing jalv's input is how a console user ends it.
exec 7>&-
for _ in $(seq 100); do
  kill -0 "$jalv_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$jalv_pid" 2>/dev/null; then
  echo "FAIL: jalv did not quit when its input closed"; status=1
else
  wait "$jalv_pid"; rc=$?
  jalv_pid=""
  [[ $rc -eq 0 ]] || { echo "FAIL: jalv exited with status $rc"; status=1; }
fi
if grep -Eq "runtime error|AddressSanitizer|Segmentation" "$work/jalv.log"; then
  echo "FAIL: the plug-in misbehaved inside jalv"; status=1
fi
[[ $status -eq 0 ]] || { echo "--- jalv output"; cat "$work/jalv.log"; }
exit $status
