"""MIDI conformance: the render command's reader against mido.

For every Standard MIDI File that Debian's mma and timidity packages ship,
the list of note-ons (frame, channel, note, velocity) that our reader places
at 44100 and 48000 Hz must equal the one computed here from mido's parse, and
the render must last from the start to the last event plus 2 s.

Frames are computed with exact fractions through the tempo map, the same
rule our reader documents: time = sum(ticks x microseconds per quarter) /
(ticks per quarter x 10^6) seconds, frame = that x rate rounded to the nearest
(halves up). Tempo changes of any track apply to all tracks; events at one
tick keep the order of their track and then of their place in the track;
bytes after a track's end-of-track are not events.

usage: midi_conformance.py MIDI_FRAMES_EXE
Exit status 0 when every file agrees, 1 on any difference, 77 (skipped) when
the packages are not installed.
"""
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction

RATES = (44100, 48000)
PACKAGES = ("mma", "timidity")
TAIL_SECONDS = 2


def skip(why):
    print("SKIPPED: " + why + " (install them with scripts/install-deps.sh --test)")
    sys.exit(77)


def shipped_midi_files(workdir):
    files = []
    for pkg in PACKAGES:
        r = subprocess.run(["dpkg", "-L", pkg], capture_output=True, text=True)
        if r.returncode != 0:
            skip("package " + pkg + " is not installed")
        for path in r.stdout.split("\n"):
            low = path.lower()
            if low.endswith((".mid", ".midi", ".kar")) and os.path.isfile(path):
                files.append(path)
            elif low.endswith((".mid.gz", ".midi.gz")) and os.path.isfile(path):
                out = os.path.join(workdir, "%d-%s" % (len(files), os.path.basename(path)[:-3]))
                with gzip.open(path, "rb") as src, open(out, "wb") as dst:
                    shutil.copyfileobj(src, dst)
                files.append(out)
    return sorted(set(files))


def expected(mid, rate):
    """Note-ons and render length from mido's parse, as (notes, length)."""
    division = mid.ticks_per_beat
    tempos = []  # (tick, track, seq, us per quarter)
    notes = []   # (tick, track, seq, channel, note, velocity)
    last_tick = 0
    for t, track in enumerate(mid.tracks):
        tick = 0
        for seq, msg in enumerate(track):
            tick += msg.time
            last_tick = max(last_tick, tick)
            if msg.type == "end_of_track":
                break
            if msg.type == "set_tempo":
                tempos.append((tick, t, seq, msg.tempo))
            elif msg.type == "note_on":
                notes.append((tick, t, seq, msg.channel, msg.note, msg.velocity))
    tempos.sort()
    notes.sort()

    if division & 0x8000:
        raise ValueError("SMPTE time division: not computed here")

    def seconds(tick):
        at, tempo, num = 0, 500000, 0
        for ttick, _, _, ttempo in tempos:
            if ttick > tick:
                break
            num += (ttick - at) * tempo
            at, tempo = ttick, ttempo
        num += (tick - at) * tempo
        return Fraction(num, division * 1000000)

    def frame(tick):
        x = seconds(tick) * rate
        return (2 * x.numerator + x.denominator) // (2 * x.denominator)  # nearest, halves up

    placed = [(frame(n[0]), n[3], n[4], n[5]) for n in notes]
    return placed, frame(last_tick) + TAIL_SECONDS * rate


def ours(exe, path, rate):
    r = subprocess.run([exe, path, str(rate)], capture_output=True, text=True)
    notes, length, error = [], None, None
    for line in r.stdout.splitlines():
        f = line.split(" ", 1)
        if f[0] == "note":
            notes.append(tuple(int(x) for x in f[1].split()))
        elif f[0] == "length":
            length = int(f[1])
        elif f[0] == "error":
            error = f[1]
    if r.returncode != 0 and error is None:
        error = "exit status %d: %s" % (r.returncode, r.stderr.strip()[:200])
    return notes, length, error


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    exe = sys.argv[1]
    try:
        import mido
    except ImportError:
        skip("python3-mido is not installed")
    workdir = tempfile.mkdtemp(prefix="midi-conformance-")
    try:
        files = shipped_midi_files(workdir)
        if not files:
            print("FAIL: mma and timidity are installed but no MIDI file was found")
            return 1
        compared = agreed = notes_compared = 0
        failures = []
        for path in files:
            name = os.path.basename(path)
            try:
                mid = mido.MidiFile(path)
            except Exception as e:  # mido refuses it: ours must refuse it too
                mid, why = None, str(e)
            for rate in RATES:
                compared += 1
                got_notes, got_length, error = ours(exe, path, rate)
                if mid is None:
                    if error is None:
                        failures.append("%s @%d: mido refuses it (%s), we read it" % (name, rate, why))
                    else:
                        agreed += 1
                    continue
                if error is not None:
                    failures.append("%s @%d: we refuse it: %s" % (name, rate, error))
                    continue
                want_notes, want_length = expected(mid, rate)
                notes_compared += len(want_notes)
                problems = []
                if got_notes != want_notes:
                    diff = next((i for i, (a, b) in enumerate(zip(got_notes, want_notes)) if a != b),
                                min(len(got_notes), len(want_notes)))
                    problems.append("note-ons differ from #%d (ours %d, mido %d; ours %s, mido %s)" % (
                        diff, len(got_notes), len(want_notes),
                        got_notes[diff] if diff < len(got_notes) else "-",
                        want_notes[diff] if diff < len(want_notes) else "-"))
                if got_length != want_length:
                    problems.append("render length %s frames, expected %d" % (got_length, want_length))
                if problems:
                    failures.append("%s @%d: %s" % (name, rate, "; ".join(problems)))
                else:
                    agreed += 1
        for f in failures:
            print("FAIL: " + f)
        print("MIDI conformance: %d files x %d rates = %d comparisons, %d note-ons compared, "
              "%d comparisons agree, %d differ" % (len(files), len(RATES), compared, notes_compared,
                                                   agreed, len(failures)))
        return 0 if not failures else 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
