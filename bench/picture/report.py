"""Prints the picture bench's table: report.py WATCH LISTEN BPM [CALIBRATION].

WATCH holds "picture NS COLOUR" lines (the beat light changed colour at NS), LISTEN holds
"audio FRAME NS NOW" lines (a chunk's first frame, its capture time by the server, when it was
read) and "click FRAME PEAK" lines; with a "clock graph" line, the chunks' times are the
graph cycles the sink played them in, and are taken as they are. All times are CLOCK_MONOTONIC
nanoseconds. A click's time is its frame mapped to the clock as click_times() says. Each click
is paired with the nearest colour change within 0.45 of a beat; the offset is picture minus
click (positive: the picture comes late).
With CALIBRATION (the stand-in's own "shown"/"heard" lines) it also prints how far the measured
offsets are from the ones the stand-in made, and which side the difference comes from."""

import bisect
import statistics
import sys

RATE = 48000.0


def lines(path, key):
    with open(path, encoding="utf-8") as f:
        return [line.split()[1:] for line in f if line.startswith(key + " ")]


def pct(values, q):
    s = sorted(values)
    return s[min(len(s) - 1, max(0, round(q * (len(s) - 1))))]


def graph_click_times(path):
    """Click times from a listener that stamps each chunk with the graph cycle the sink played
    it in ("clock graph"): a frame is heard at its chunk's time plus its place in the chunk."""
    chunks = [(int(f), int(t)) for f, t, _ in lines(path, "audio")]
    frames = [f for f, _ in chunks]
    times = []
    for f, _ in lines(path, "click"):
        i = bisect.bisect_right(frames, int(f)) - 1
        if i >= 0:
            times.append(chunks[i][1] + (int(f) - chunks[i][0]) * 1e9 / RATE)
    return times, []


def click_times(path):
    """Click times, and the spread of the server's latency readings about the arrival clock.

    The sink's frames keep a steady pace against CLOCK_MONOTONIC; the chunks' arrival shows it
    best (the earliest arrival per frame within a second, which cannot come before the data
    exists), the server's latency readings wander about it by milliseconds on PipeWire. So the
    shape comes from the arrival, the level from the median latency reading of the whole run."""
    chunks = [(int(f), int(t), int(now)) for f, t, now in lines(path, "audio")]
    frames = [f for f, _, _ in chunks]
    ends = frames[1:] + [frames[-1] + 256] if frames else []
    arrival = [now - end * 1e9 / RATE for (_, _, now), end in zip(chunks, ends)]

    def envelope(frame):
        lo = bisect.bisect_left(frames, frame - RATE)
        hi = bisect.bisect_right(frames, frame + RATE)
        return min(arrival[lo:hi]) if hi > lo else None

    above = [t - f * 1e9 / RATE - envelope(f) for f, t, _ in chunks[::10]]
    if not above:
        return [], []
    level = statistics.median(above)
    times = [int(f) * 1e9 / RATE + envelope(int(f)) + level for f, _ in lines(path, "click")]
    return times, [(a - level) / 1e6 for a in above]


def pair(clicks, pictures, window):
    """Nearest picture for each click, each picture used once; None where there is none."""
    used, pairs = set(), []
    for c in clicks:
        i = bisect.bisect_left(pictures, c)
        best = None
        for j in (i - 1, i, i + 1):
            if 0 <= j < len(pictures) and j not in used and abs(pictures[j] - c) <= window:
                if best is None or abs(pictures[j] - c) < abs(pictures[best] - c):
                    best = j
        if best is not None:
            used.add(best)
        pairs.append((c, None if best is None else pictures[best]))
    return pairs, len(pictures) - len(used)


def summary(name, values):
    if not values:
        print(f"{name:<34} (none)")
        return
    print(f"{name:<34} median {statistics.median(values):+7.2f}  p95|.| "
          f"{pct([abs(v) for v in values], 0.95):6.2f}  min {min(values):+7.2f}  "
          f"max {max(values):+7.2f}  (n={len(values)})")


def calibration(path, pairs):
    heard = {int(k): int(t) for k, t in lines(path, "heard")}
    truth, err_total, err_picture, err_sound = [], [], [], []
    measured = [(c, p) for c, p in pairs if p is not None]
    for k, before, after, _ in lines(path, "shown"):
        if int(k) not in heard:
            continue
        shown = (int(before) + int(after)) / 2
        true_offset = (shown - heard[int(k)]) / 1e6
        truth.append(true_offset)
        near = [(c, p) for c, p in measured if abs(p - shown) < 20e6]
        if not near:
            continue
        c, p = min(near, key=lambda cp: abs(cp[1] - shown))
        err_total.append((p - c) / 1e6 - true_offset)
        err_picture.append((p - shown) / 1e6)
        err_sound.append((c - heard[int(k)]) / 1e6)
    print()
    print("against the stand-in's own account (ms)")
    summary("offset it made (shown - heard)", truth)
    summary("measured minus made", err_total)
    summary("  picture stamp minus drawn", err_picture)
    summary("  click stamp minus heard", err_sound)
    draws = [(int(a) - int(b)) / 1e6 for _, b, a, _ in lines(path, "shown")]
    summary("  drawing + XSync took", draws)
    readings = [(int(t), int(z)) for t, z in lines(path, "reading")]
    spreads = []
    for i in range(0, len(readings), 50):
        near = [z for t, z in readings if abs(t - readings[i][0]) < 1e9]
        spreads.append((pct(near, 0.95) - pct(near, 0.05)) / 1e6)
    if spreads:
        print(f"its playback clock readings: 5-95% spread within 2 s median "
              f"{statistics.median(spreads):.2f} ms, worst {max(spreads):.2f} ms")
    print("stream underruns:", " ".join(u[0] for u in lines(path, "underruns")) or "?")


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    pictures = sorted(int(t) for t, _ in lines(sys.argv[1], "picture"))
    graph = any(True for _ in lines(sys.argv[2], "clock"))
    clicks, jitter = (graph_click_times if graph else click_times)(sys.argv[2])
    period = 60e9 / float(sys.argv[3])
    pairs, lonely_pictures = pair(clicks, pictures, 0.45 * period)
    offsets = [(p - c) / 1e6 for c, p in pairs if p is not None]
    start = clicks[0] if clicks else 0
    print("beat   click at s   picture - click ms")
    for n, (c, p) in enumerate(pairs):
        print(f"{n:4d}  {(c - start) / 1e9:10.3f}   " + (f"{(p - c) / 1e6:+8.2f}" if p else "  none"))
    print()
    print(f"clicks {len(clicks)}, colour changes {len(pictures)}, clicks with no picture "
          f"{sum(1 for _, p in pairs if p is None)}, pictures with no click {lonely_pictures}")
    if jitter:
        print(f"the server's capture-time readings about the arrival clock: 5-95% "
              f"{pct(jitter, 0.05):+.2f} .. {pct(jitter, 0.95):+.2f} ms")
    summary("picture - click (ms)", offsets)
    if offsets:
        med, p95 = abs(statistics.median(offsets)), pct([abs(v) for v in offsets], 0.95)
        print(f"targets: |median| {med:.2f} <= 5 ms: {'yes' if med <= 5 else 'no'};  "
              f"p95 |offset| {p95:.2f} <= 10 ms: {'yes' if p95 <= 10 else 'no'}")
    if len(sys.argv) > 4:
        calibration(sys.argv[4], pairs)


if __name__ == "__main__":
    main()
