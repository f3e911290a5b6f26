#!/usr/bin/env bash
# jalv.gtk3 shows our editor embedded (through suil) in its window under a
# private Xvfb; the editor's area of a screenshot is compared with
# `kt412 snapshot` of the same settings.
# Then a click on the editor's pad must reach the DSP through the host and
# be heard on jalv's JACK outputs (our probe client listens).
#   jalv_gtk_screenshot.sh LV2_PATH KT412_EXE DSP_LIBRARY OUT_DIR PROBE
set -uo pipefail
lv2path=$1 kt412=$2 dsp=$3 out=$4 probe=$5
for tool in Xvfb jackd jalv.gtk3 xwininfo xdotool import compare convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool missing (bash scripts/install-deps.sh --test installs it)"
    exit 77
  fi
done
if ldd "$dsp" | grep -q libasan; then
  # GTK's start-up deadlocks in bindtextdomain with a preloaded sanitizer run-time.
  echo "SKIP: the plug-in is a sanitizer build; this test runs in the Release build"
  exit 77
fi

work=$(mktemp -d)
server="kt412ui$$"
export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1 LV2_PATH=$lv2path
# A fresh home: the editor seeds its preset folder there, as on a new machine.
export HOME=$work/home LC_ALL=C KT412_PRESET_DIR=$work/home/presets/
mkdir -p "$HOME" "$out"
xvfb_pid="" jackd_pid="" jalv_pid=""
cleanup() {
  [[ -n $jalv_pid ]] && kill "$jalv_pid" 2>/dev/null
  [[ -n $jackd_pid ]] && kill "$jackd_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and tells its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

jackd -n "$server" -r -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done

jalv.gtk3 -n kt412 urn:quorvane:kt412 >"$work/jalv.log" 2>&1 &
jalv_pid=$!

# The editor's window is the one of its size somewhere below the root.
geometry=""
for _ in $(seq 200); do
  geometry=$(xwininfo -root -tree 2>/dev/null | awk '/ 592x442\+/ {print $0; exit}')
  [[ -n $geometry ]] && break
  sleep 0.1
done
if [[ -z $geometry ]]; then
  echo "FAIL: no 592 x 442 editor window appeared"; cat "$work/jalv.log"; exit 1
fi
id=$(echo "$geometry" | awk '{print $1}')
# Absolute position of the editor window on the screen.
read -r x y < <(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
# Give the editor a few redraw ticks after the host's port values came in.
sleep 1.5
import -window root "$out/jalv-screen.png"
convert "$out/jalv-screen.png" -crop "592x442+$x+$y" +repage "$out/jalv-editor.png"

# The same settings without a window: a host binding starts with the first
# factory preset of the (fresh) preset folder, whose name the editor shows,
# and then the host's ports, at the parameters' defaults, move every control
# that has a port (Pitch .. MidiAccentFlag).
mapfile -t defaults < <("$kt412" render --list-params | awk 'NR > 1 && $1 <= 10 {print "--set"; print $2 "=" $4}')
"$kt412" snapshot -o "$out/snapshot.png" --preset-dir "$KT412_PRESET_DIR" "${defaults[@]}" >/dev/null
diff=$(compare -metric AE "$out/jalv-editor.png" "$out/snapshot.png" "$out/difference.png" 2>&1 >/dev/null)
echo "editor window $id at $x,$y; pixels differing from kt412 snapshot: $diff of $((592 * 442))"
status=0
[[ $diff =~ ^[0-9]+$ && $diff -eq 0 ]] || status=1

# The pad (TRIGGER, at 528,114 in the editor) pressed and released while
# the probe listens to jalv's outputs.
"$probe" kt412 2 --listen &
probe_pid=$!
sleep 0.5
xdotool mousemove $((x + 528)) $((y + 114)) mousedown 1 sleep 0.1 mouseup 1
wait "$probe_pid" || { echo "FAIL: the editor's pad was not heard"; status=1; }

# Closing the host with the editor open must not crash it.
kill -INT "$jalv_pid"
for _ in $(seq 100); do kill -0 "$jalv_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$jalv_pid" 2>/dev/null; then echo "FAIL: jalv.gtk3 did not quit"; status=1; fi
wait "$jalv_pid" 2>/dev/null
jalv_pid=""
if grep -Eq "Segmentation|Aborted|runtime error" "$work/jalv.log"; then
  echo "FAIL: the editor misbehaved inside jalv.gtk3"; cat "$work/jalv.log"; status=1
fi
exit $status
