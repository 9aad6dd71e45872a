#!/usr/bin/env python3
"""Makes sn.wav, the metronome's click: a short, crisp, unpitched wooden knock.

Rerun it from the repository root to remake the file (the result is the same every time):

    python3 assets/make_click.py assets/sn.wav

16-bit PCM, mono, 48 kHz, 30 ms. The attack is at sample 0 (its first sample is the loudest
of the whole click), so the sound starts exactly on the frame it is scheduled for; the body is a
few damped, inharmonic wood-like modes under a burst of noise, so no pitch is heard; the last
few milliseconds fade to exact silence.
"""
import math
import struct
import sys
import wave

RATE = 48000
LENGTH = 0.030  # seconds
PEAK = 0.70  # of full scale, about -3 dB
# (frequency in Hz, level, decay time constant in s): spread, inharmonic modes of a small block
MODES = [(1180.0, 1.00, 0.0040), (2270.0, 0.80, 0.0030), (3610.0, 0.55, 0.0022),
         (5170.0, 0.40, 0.0016), (7340.0, 0.25, 0.0011)]
NOISE_DECAY = 0.0012  # s: the strike's noisy transient
FADE = 0.004  # s: the final fade to silence


def noise(seed=0x2545F491):
    """A fixed pseudo-random sequence in -1..1, so every run writes the same file."""
    state = seed
    while True:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        yield state / 0x3FFFFFFF - 1.0


def click():
    frames = int(LENGTH * RATE)
    fade_frames = int(FADE * RATE)
    rng = noise()
    out = []
    for i in range(frames):
        t = i / RATE
        # Cosines start at their crest, so the attack is full at sample 0.
        body = sum(level * math.exp(-t / tau) * math.cos(2 * math.pi * f * t) for f, level, tau in MODES)
        strike = 1.5 * math.exp(-t / NOISE_DECAY) * next(rng)
        value = body + strike
        left = frames - 1 - i
        if left < fade_frames:
            value *= 0.5 - 0.5 * math.cos(math.pi * left / fade_frames)
        out.append(value)
    # Sample 0 gets the full positive peak; everything after stays below it.
    scale = 0.9 * PEAK / max(abs(v) for v in out[1:])
    out = [v * scale for v in out]
    out[0] = PEAK
    return out


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "sn.wav"
    samples = click()
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", round(v * 32767)) for v in samples))


if __name__ == "__main__":
    main()
