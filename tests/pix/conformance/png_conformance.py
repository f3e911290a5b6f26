"""PNG conformance: the drawing library's loader against ImageMagick.

Decodes every PNG of the classic test suite that Debian's Go source package
ships (src/image/png/testdata/pngsuite, plus the Go decoder's own test images
beside it) and compares every pixel with ImageMagick's decoding. Files meant
to be broken must be refused: in the classic suite their names start with
"x", and the Go tests mark theirs "invalid-" (Go itself draws the indices of
invalid-palette.png that lie past its palette as black; we refuse that file,
as libpng-based and most other decoders do).

ImageMagick is asked for 16-bit samples, rounded here to the nearest 8-bit
value (v / 257), which is what the loader computes. Its "-set colorspace
sRGB" keeps it from converting the suite's gAMA 1.0 images to sRGB: the
loader ignores gAMA, as the PNG is drawn as stored.

usage: png_conformance.py PNG_RGBA_EXE
Exit status 0 when every file agrees, 1 on any difference, 77 (skipped) when
the Go sources or ImageMagick are not installed.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile


def skip(why):
    print("SKIPPED: " + why + " (install it with scripts/install-deps.sh --test)")
    sys.exit(77)


def broken_by_name(name):
    return name.startswith("x") or name.startswith("invalid-")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    exe = sys.argv[1]
    suites = sorted(glob.glob("/usr/share/go-*/src/image/png/testdata/pngsuite"))
    if not suites:
        skip("the Go source package (golang-1.19-src) is not installed")
    if shutil.which("convert") is None:
        skip("ImageMagick's convert is not installed")
    suite = suites[-1]
    files = sorted(glob.glob(os.path.join(suite, "*.png")) +
                   glob.glob(os.path.join(os.path.dirname(suite), "*.png")))
    workdir = tempfile.mkdtemp(prefix="png-conformance-")
    try:
        failures = []
        decoded = refused = pixels = 0
        for path in files:
            name = os.path.basename(path)
            ours_raw = os.path.join(workdir, "ours.rgba")
            r = subprocess.run([exe, path, ours_raw], capture_output=True, text=True)
            out = r.stdout.strip()
            if broken_by_name(name):
                if r.returncode == 1 and out.startswith("refused: "):
                    refused += 1
                else:
                    failures.append("%s: meant to be broken, but loaded (%s)" % (name, out or r.stderr.strip()))
                continue
            if r.returncode != 0:
                failures.append("%s: %s" % (name, out or r.stderr.strip()))
                continue
            w, h = (int(x) for x in out.split())
            ref_raw = os.path.join(workdir, "ref.rgba")
            c = subprocess.run(["convert", path, "-set", "colorspace", "sRGB", "-depth", "16",
                                "-endian", "MSB", "RGBA:" + ref_raw], capture_output=True, text=True)
            if c.returncode != 0:
                failures.append("%s: ImageMagick cannot read it: %s" % (name, c.stderr.strip()))
                continue
            with open(ref_raw, "rb") as f:
                ref16 = f.read()
            want = bytes(((ref16[i] << 8 | ref16[i + 1]) * 255 + 32895) >> 16 for i in range(0, len(ref16), 2))
            with open(ours_raw, "rb") as f:
                got = f.read()
            if len(want) != w * h * 4 or len(got) != len(want):
                failures.append("%s: size %dx%d, %d bytes, ImageMagick %d bytes" % (name, w, h, len(got), len(want)))
                continue
            bad = [i for i in range(len(got)) if got[i] != want[i]]
            if bad:
                i = bad[0] // 4 * 4
                failures.append("%s: %d of %d samples differ; first at pixel (%d, %d): ours %s, ImageMagick %s" % (
                    name, len(bad), len(got), i // 4 % w, i // 4 // w, tuple(got[i:i + 4]), tuple(want[i:i + 4])))
                continue
            decoded += 1
            pixels += w * h
        for f in failures:
            print("FAIL: " + f)
        print("PNG conformance (%s): %d files, %d decoded identically to ImageMagick (%d pixels), "
              "%d broken files refused, %d failures" % (suite, len(files), decoded, pixels, refused, len(failures)))
        return 0 if not failures and files else 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
