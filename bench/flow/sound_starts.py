"""Lists where each sound in a recording starts, however soft: sound_starts.py RECORDING.

The recording is the null sink's monitor as the bench makes it (s16le, mono, 48 kHz). A sound
starts at the first sample of at least LEVEL after 50 ms below it; a sound is anything louder
than digital silence, so a soft beep the onset finder's threshold passes over is listed too.
Prints "rec.sound START PEAK": the start in frames of the recording, and the sound's peak (0 to
1) before the next start. Asserts nothing."""

import array
import sys

RATE = 48000
LEVEL = 4  # of 32768: above the silence of a null sink, far below any click
GAP = RATE // 20


def main():
    samples = array.array("h")
    with open(sys.argv[1], "rb") as f:
        samples.frombytes(f.read())
    starts, peaks = [], []
    last = -GAP - 1
    for i, v in enumerate(samples):
        level = -v if v < 0 else v
        if level < LEVEL:
            continue
        if i - last > GAP:
            starts.append(i)
            peaks.append(0)
        peaks[-1] = max(peaks[-1], level)
        last = i
    for start, peak in zip(starts, peaks):
        print(f"rec.sound {start} {peak / 32768:.3f}")


if __name__ == "__main__":
    main()
