#!/usr/bin/python3
"""How alike two renders of a module sound: the Pearson correlation of their log band spectrograms.

    similarity.py A.wav B.wav [C.wav ...]     one line per file after the first: its similarity to A

Each WAV (16-bit PCM, 44100 Hz, any channel count) is mixed to mono and cut to its first 30 s;
two renders of different lengths are compared over the shorter one. The spectrogram: 2048-sample
Hann frames every 1024 samples, the magnitude spectrum of each summed into 64 bands whose edges
are spaced geometrically from FFT bin 2 to the last bin, then log(1 + band / 1000), samples taken
at 16-bit scale. The similarity is the Pearson correlation of the two flattened spectrograms:
1 for the same render, near 0 for unrelated sound. A silent render has no variation to
correlate; against a sounding one it scores 0, against another silent one 1. Silent here means
inaudible: no sample further than 4 from zero (below -78 dB of full scale), which is where a
player that cancels two channels exactly and one that leaves a last bit of rounding meet.

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


def read_mono(path):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2 or w.getframerate() != RATE:
            sys.exit(f"similarity.py: {path}: want 16-bit PCM at {RATE} Hz")
        channels = w.getnchannels()
        data = w.readframes(min(w.getnframes(), RATE * SECONDS))
    samples = np.frombuffer(data, dtype="<i2").astype(np.float64)
    if samples.size and np.abs(samples).max() <= SILENCE:
        samples = np.zeros_like(samples)
    return samples.reshape(-1, channels).mean(axis=1)


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


def similarity(a, b):
    """Pearson correlation of two spectrograms over the frames both have."""
    n = min(len(a), len(b))
    if n == 0:
        return float("nan")
    x, y = a[:n].ravel(), b[:n].ravel()
    sx, sy = x.std(), y.std()
    if sx == 0 or sy == 0:
        return 1.0 if sx == sy and np.array_equal(x, y) else 0.0
    return float(np.corrcoef(x, y)[0, 1])


def main(argv):
    if len(argv) < 3:
        print("usage: similarity.py A.wav B.wav [C.wav ...]", file=sys.stderr)
        return 2
    reference = spectrogram(read_mono(argv[1]))
    for path in argv[2:]:
        print(f"{similarity(reference, spectrogram(read_mono(path))):.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
