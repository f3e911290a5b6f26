#!/usr/bin/env bash
# Renders one hit of every factory preset and prints a table of its tail
# length above -60 dB, fundamental and peak, so that the presets' figures can
# be checked again at any time.
#
#   tools/measure_presets.sh [BUILD_DIR] [PRESET_FOLDER]
#
# BUILD_DIR (default build/release, else build/asan) must hold the kt412 and
# wav_hit_stats programs. Each .qipreset holds normalised values; they are
# turned into the plain values `kt412 render --set` takes (Pitch spans
# -12..12 semitones, the other sound controls 0..1, the two MIDI switches are
# on from 0.5). The hit is a single note 40 (E2) at velocity 100 at time 0, so
# the presets that follow the note or the velocity show it. The fundamental is
# measured after the pitch sweep, from 0.20 to 0.45 s, or for tails shorter
# than 0.6 s from 0.3 to 0.75 of the tail.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z "$build" ]]; then
  for b in "$root/build/release" "$root/build/asan"; do
    if [[ -x "$b/apps/kt412/kt412" && -x "$b/tools/wav_hit_stats" ]]; then build=$b; break; fi
  done
fi
folder=${2:-"$root/resources/presets/Factory Presets"}
kt412="$build/apps/kt412/kt412"
stats="$build/tools/wav_hit_stats"
for exe in "$kt412" "$stats"; do
  if [[ ! -x "$exe" ]]; then
    echo "measure_presets: $exe not found; build the kt412 and wav_hit_stats targets first" >&2
    exit 2
  fi
done
if [[ ! -d "$folder" ]]; then
  echo "measure_presets: no preset folder $folder" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A format-0 MIDI file, 480 ticks per quarter at the default 120 bpm: note 40
# on at tick 0, off after 3 s, so the render runs 5 s.
printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0MTrk\x00\x00\x00\x0d\x00\x90\x28\x64\x96\x40\x80\x28\x00\x00\xff\x2f\x00' \
  >"$work/hit.mid"

names=(Pitch Accent Decay TuneDecay Attack Hold TuneDepth NoiseDecay Distort MidiTuneFlag MidiAccentFlag)

printf '%-20s %8s %9s %9s %10s  %s\n' "preset" "tail(s)" "f0(Hz)" "peak(dB)" "window(s)" "settings (plain)"
shopt -s nullglob
files=("$folder"/*.qipreset)
IFS=$'\n' files=($(printf '%s\n' "${files[@]}" | LC_ALL=C sort -f))
unset IFS
for file in "${files[@]}"; do
  name=$(basename "$file" .qipreset)
  # Line k holds parameter k; only the value after "=" counts.
  mapfile -t values < <(head -n 11 "$file" | sed 's/^[^=]*=//')
  if ((${#values[@]} < 11)); then
    echo "measure_presets: $file has fewer than 11 lines" >&2
    exit 2
  fi
  sets=()
  shown=""
  for k in "${!names[@]}"; do
    v=${values[$k]}
    case ${names[$k]} in
      Pitch) plain=$(LC_ALL=C awk -v n="$v" 'BEGIN { printf "%.4f", -12 + 24 * n }') ;;
      MidiTuneFlag | MidiAccentFlag) plain=$(LC_ALL=C awk -v n="$v" 'BEGIN { print (n >= 0.5) ? 1 : 0 }') ;;
      *) plain=$(LC_ALL=C awk -v n="$v" 'BEGIN { printf "%.4f", n }') ;;
    esac
    sets+=(--set "${names[$k]}=$plain")
    shown+="${names[$k]}=$(LC_ALL=C awk -v p="$plain" 'BEGIN { printf "%g", p }') "
  done
  "$kt412" render "$work/hit.mid" -o "$work/hit.wav" "${sets[@]}" >/dev/null
  first=$("$stats" "$work/hit.wav" --onset 0)
  tail=$(sed -n 's/^tail above .*: \([0-9.]*\) s$/\1/p' <<<"$first")
  peak=$(sed -n 's/^hit at .*peak \(-\{0,1\}[0-9.]*\) dBFS$/\1/p' <<<"$first")
  read -r from to < <(LC_ALL=C awk -v t="$tail" 'BEGIN {
    if (t >= 0.6) print 0.20, 0.45; else printf "%.3f %.3f\n", 0.3 * t, 0.75 * t }')
  second=$("$stats" "$work/hit.wav" --onset 0 --from "$from" --to "$to")
  f0=$(sed -n 's/.* \([0-9.]*\) Hz by DFT peak$/\1/p' <<<"$second")
  printf '%-20s %8s %9s %9s %10s  %s\n' "$name" "$tail" "${f0:--}" "$peak" "$from-$to" "$shown"
done
