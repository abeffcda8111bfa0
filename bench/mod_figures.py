#!/usr/bin/python3
"""The figures MOD playback is held to, module by module, against openmpt123 (xmp beside it).

    bench/mod_figures.py MODULE.mod ...
    BFRENDER=path/to/bfrender bench/mod_figures.py ...   (default: build/bin/bfrender)

Each module is rendered as bench/fidelity.sh renders it (ours one pass, openmpt123 and xmp the
first 30 s, all at 44100 Hz with linear interpolation), and compared with bench/similarity.py's
measure, in stereo, but over the longer of the two renders: the shorter is made up with silence,
so that a pass that ends too soon loses what it leaves out. Per module: that similarity for ours
and for xmp, the loudness of each against openmpt123's (RMS over the time both cover), and one
pass's length by ours against openmpt123's duration. Below: the medians, the modules where ours
is more than 0.05 below xmp, outside 10 % of openmpt123's loudness, more than 0.2 s from its
length, and those ours refuses that xmp plays.

Debian's python3 with python3-numpy, xmp and openmpt123 (scripts/setup.sh bench).
"""
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import similarity  # noqa: E402

SECONDS = 30


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def sides(path):
    return similarity.read_sides(path) if os.path.exists(path) and os.path.getsize(path) > 44 else None


def over_longer(reference, other):
    """Stereo similarity with the shorter render made up with silence to the longer's length."""
    n = max(len(reference), len(other))
    pad = lambda s: np.vstack([s, np.zeros((n - len(s), 2))])
    return similarity.similarity(similarity.stereo_spectrogram(pad(reference)), similarity.stereo_spectrogram(pad(other)))


def loudness(reference, other):
    n = min(len(reference), len(other))
    r = similarity.rms(reference[:n])
    return similarity.rms(other[:n]) / r if r > 0 else float("nan")


def duration(module):
    for line in run(["openmpt123", "--info", module]).stdout.splitlines():
        if line.startswith("Duration"):
            seconds = 0.0
            for part in line.split(": ", 1)[1].split(":"):
                seconds = seconds * 60 + float(part)
            return seconds
    return float("nan")


def main(modules):
    bfrender = os.environ.get("BFRENDER", "build/bin/bfrender")
    out = tempfile.mkdtemp()
    rows = []
    print(f"{'module':45} {'stereo':>7} {'xmp':>7} {'rms':>6} {'xmp':>6} {'length':>8} {'openmpt':>8}")
    try:
        for module in modules:
            for f in os.listdir(out):
                os.unlink(os.path.join(out, f))
            copy = os.path.join(out, "m" + os.path.splitext(module)[1])
            shutil.copyfile(module, copy)
            run(["openmpt123", "--quiet", "--render", "--no-float", "--dither", "0", "--filter", "2", "--samplerate",
                 "44100", "--end-time", str(SECONDS), "--force", copy])
            run([bfrender, module, os.path.join(out, "ours.wav"), "--rate", "44100"])
            run(["xmp", "--quiet", "--norc", "-i", "linear", "-f", "44100", "--nocmd", "-t", str(SECONDS), "-o",
                 os.path.join(out, "xmp.wav"), module])
            ref, ours, xmp = sides(copy + ".wav"), sides(os.path.join(out, "ours.wav")), sides(os.path.join(out, "xmp.wav"))
            # read_sides cuts to 30 s; the pass's length comes from the file's size.
            length = (os.path.getsize(os.path.join(out, "ours.wav")) - 44) / 4 / 44100 if ours is not None else None
            row = {
                "name": os.path.basename(module),
                "ours": over_longer(ref, ours) if ref is not None and ours is not None else None,
                "xmp": over_longer(ref, xmp) if ref is not None and xmp is not None else None,
                "rms": loudness(ref, ours) if ref is not None and ours is not None else None,
                "xrms": loudness(ref, xmp) if ref is not None and xmp is not None else None,
                "length": length,
                "openmpt": duration(module),
            }
            rows.append(row)
            f = lambda v, w, p: f"{v:{w}.{p}f}" if v is not None else f"{'-':>{w}}"
            print(f"{row['name']:45} {f(row['ours'], 7, 4)} {f(row['xmp'], 7, 4)} {f(row['rms'], 6, 3)} "
                  f"{f(row['xrms'], 6, 3)} {f(row['length'], 8, 2)} {f(row['openmpt'], 8, 2)}", flush=True)
    finally:
        shutil.rmtree(out)
    ours = [r["ours"] for r in rows if r["ours"] is not None]
    xmp = [r["xmp"] for r in rows if r["xmp"] is not None]
    below = [r["name"] for r in rows if r["ours"] is not None and r["xmp"] is not None and r["ours"] < r["xmp"] - 0.05]
    loud = [r["name"] for r in rows if r["rms"] is not None and not 0.9 <= r["rms"] <= 1.1]
    apart = [r["name"] for r in rows if r["length"] is not None and not abs(r["length"] - r["openmpt"]) <= 0.2]
    refused = [r["name"] for r in rows if r["ours"] is None and r["xmp"] is not None]
    print(f"median over the longer render: ours {np.median(ours):.4f}, xmp {np.median(xmp):.4f}")
    print(f"ours more than 0.05 below xmp: {len(below)} of {len(rows)} {below}")
    print(f"loudness outside 10 % of openmpt123's: {len(loud)} {loud}")
    print(f"one pass more than 0.2 s from openmpt123's duration: {len(apart)} {apart}")
    print(f"refused by ours, played by xmp: {len(refused)} {refused}")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
