#!/usr/bin/python3
"""How alike two renders of a module sound: the Pearson correlation of their log band spectrograms.

    similarity.py A.wav B.wav [C.wav ...]     one line per file after the first: its similarity to A
    similarity.py --stereo A.wav B.wav ...    the same with the left and right spectrograms side by side
    similarity.py --self A.wav ...            per file: its left against its right, peak, RMS
    similarity.py --table REF.wav A.wav ...   per file after REF: stereo and mono similarity to REF
                                              and RMS ratio to REF; then each file's (REF's first)
                                              self-check (see below)
    similarity.py --table --song S REF.wav ... the same with REF cut to its first S seconds (the
                                              song's length by REF's player, where its render
                                              goes on past the song's end)

Each WAV (16-bit PCM, 44100 Hz, any channel count) is mixed to mono and cut to its first 30 s;
two renders of different lengths are compared over the longer one, the shorter padded with
silence: a render that stops too soon loses what it leaves out. The spectrogram: 2048-sample
Hann frames every 1024 samples, the magnitude spectrum of each summed into 64 bands whose edges
are spaced geometrically from FFT bin 2 to the last bin, then log(1 + band / 1000), samples taken
at 16-bit scale. The similarity is the Pearson correlation of the two flattened spectrograms:
1 for the same render, near 0 for unrelated sound. A silent render has no variation to
correlate; against a sounding one it scores 0, against another silent one 1. Silent here means
inaudible: no sample further than 4 from zero (below -78 dB of full scale), which is where a
player that cancels two channels exactly and one that leaves a last bit of rounding meet.

In stereo (--stereo) the two channels' spectrograms are put next to each other before the
correlation, so that panning counts; a mono file's one channel stands for both sides.

The self-check of a render: the correlation of its own left and right spectrograms (the same
length). A render
passes where left and right agree (at least 0.95) or where it is silent, as the test modules
that play a player's result on one side and the tracker's recording on the other, or two
channels that cancel, sound when played right. "-" where the render cannot be read.

Debian's python3 with python3-numpy; call it as /usr/bin/python3 where another python3 comes
first on the PATH.
"""
import sys
import wave

import numpy as np

RATE = 44100
SECONDS = 30
SILENCE = 4  # the largest sample value of a render that counts as silent
FRAME = 2048
HOP = 1024
BANDS = 64


SELF_CHECK = 0.95  # left against right at or above this: the two sides agree


def read_sides(path, seconds=SECONDS):
    """Frames x 2 (left, right) of the first 30 s (or fewer); a mono file's channel on both sides."""
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2 or w.getframerate() != RATE:
            sys.exit(f"similarity.py: {path}: want 16-bit PCM at {RATE} Hz")
        channels = w.getnchannels()
        data = w.readframes(min(w.getnframes(), round(RATE * min(seconds, SECONDS))))
    samples = np.frombuffer(data, dtype="<i2").astype(np.float64).reshape(-1, channels)
    if channels == 1:
        samples = np.repeat(samples, 2, axis=1)
    return samples[:, :2]


def silent(samples):
    return samples.size == 0 or np.abs(samples).max() <= SILENCE


def mono(sides):
    return np.zeros(len(sides)) if silent(sides) else sides.mean(axis=1)


def read_mono(path):
    return mono(read_sides(path))


def band_matrix():
    """Bins x bands, 1 where bin b lies in band k: edge k <= b < edge k + 1 (the last bin in the top band).

    Bins 0 and 1 (DC and the lowest partial) stay out; bands narrower than a bin at the low end
    hold no bin and stay zero in every render."""
    edges = np.geomspace(2, FRAME // 2, BANDS + 1)
    bins = np.arange(FRAME // 2 + 1)
    band = np.searchsorted(edges, bins, side="right") - 1
    band[-1] = BANDS - 1
    matrix = np.zeros((len(bins), BANDS))
    inside = band >= 0
    matrix[bins[inside], band[inside]] = 1
    return matrix


def spectrogram(mono):
    """Frames x bands of log(1 + band magnitude / 1000)."""
    count = 0 if len(mono) < FRAME else 1 + (len(mono) - FRAME) // HOP
    if count == 0:
        return np.zeros((0, BANDS))
    starts = np.arange(count) * HOP
    frames = mono[starts[:, None] + np.arange(FRAME)] * np.hanning(FRAME)
    magnitude = np.abs(np.fft.rfft(frames, axis=1))
    return np.log1p(magnitude @ band_matrix() / 1000)


def padded(spectrogram_frames, n):
    """The spectrogram with silent frames (log(1 + 0) = 0 in every band) added up to n frames."""
    missing = n - len(spectrogram_frames)
    if missing <= 0:
        return spectrogram_frames
    return np.vstack([spectrogram_frames, np.zeros((missing, spectrogram_frames.shape[1]))])


def similarity(a, b):
    """Pearson correlation of two spectrograms over the longer one, the shorter padded with silence."""
    n = max(len(a), len(b))
    if n == 0:
        return float("nan")
    x, y = padded(a, n).ravel(), padded(b, n).ravel()
    sx, sy = x.std(), y.std()
    if sx == 0 or sy == 0:
        return 1.0 if sx == sy and np.array_equal(x, y) else 0.0
    return float(np.corrcoef(x, y)[0, 1])


def stereo_spectrogram(sides):
    """Frames x (2 x bands): the left's bands, then the right's."""
    if silent(sides):
        sides = np.zeros_like(sides)
    return np.hstack([spectrogram(sides[:, 0]), spectrogram(sides[:, 1])])


def self_check(sides):
    """(left against right, passes): silent renders pass."""
    if silent(sides):
        return 1.0, True
    value = similarity(spectrogram(sides[:, 0]), spectrogram(sides[:, 1]))
    return value, value >= SELF_CHECK


def rms(sides):
    return float(np.sqrt(np.mean(sides ** 2))) if sides.size else 0.0


def table(paths, song=SECONDS):
    """For each file after the first: stereo, mono, RMS ratio; then every file's self-check."""
    sides = [read_sides(paths[0], song)] + [read_sides(p) for p in paths[1:]]
    ref = sides[0]
    ref_stereo, ref_mono = stereo_spectrogram(ref), spectrogram(mono(ref))
    fields = []
    for other in sides[1:]:
        fields.append(f"{similarity(ref_stereo, stereo_spectrogram(other)):.4f}")
        fields.append(f"{similarity(ref_mono, spectrogram(mono(other))):.4f}")
        n = min(len(ref), len(other))  # loudness over the time both renders cover
        fields.append(f"{rms(other[:n]) / rms(ref[:n]):.3f}" if rms(ref[:n]) > 0 else "-")
    for one in sides:
        value, passes = self_check(one)
        fields.append(f"{value:.3f}{'+' if passes else '-'}")
    return " ".join(fields)


def main(argv):
    mode = argv[1] if len(argv) > 1 and argv[1].startswith("--") else None
    paths = argv[2:] if mode else argv[1:]
    song = SECONDS
    if mode == "--table" and len(paths) > 1 and paths[0] == "--song":
        song, paths = float(paths[1]), paths[2:]
    if mode not in (None, "--stereo", "--self", "--table") or len(paths) < (1 if mode == "--self" else 2):
        print("usage: similarity.py [--stereo | --table] A.wav B.wav [C.wav ...] | --self A.wav ...", file=sys.stderr)
        return 2
    if mode == "--self":
        for path in paths:
            sides = read_sides(path)
            value, passes = self_check(sides)
            print(f"{value:.4f} {'pass' if passes else 'fail'} peak {np.abs(sides).max() if sides.size else 0:.0f} "
                  f"rms {rms(sides):.1f}")
        return 0
    if mode == "--table":
        print(table(paths, song))
        return 0
    measure = (lambda p: stereo_spectrogram(read_sides(p))) if mode == "--stereo" else (lambda p: spectrogram(read_mono(p)))
    reference = measure(paths[0])
    for path in paths[1:]:
        print(f"{similarity(reference, measure(path)):.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
