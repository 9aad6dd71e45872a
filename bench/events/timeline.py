"""Reads one run of the events bench into clicks on CLOCK_MONOTONIC (used by report.py).

A recording's frames are put on the clock by its timeline (cadrel_events_record's "audio FRAME
CAPTURE NOW" lines). A null sink plays at its nominal rate on the system clock, so within a
stretch of continuous recording frames map to time by a constant offset: its shape is taken
from the chunks' arrival (the earliest arrival within a second, which cannot come before the
data exists), its level from the median of the stream's own capture-time readings over the
whole recording (one reading wanders by milliseconds on pipewire-pulse; many do not). A stretch
ends where the recorder connected again (a server restarted) or where the arrival jumps for
good (a suspended sink delivered nothing meanwhile): the time between two clicks in different
stretches, or on different sinks, comes from the clock, within the clock mapping's accuracy; in
one stretch it is the difference of their frames, to the onset finder's fraction of a frame."""

import array
import bisect
import os
import statistics

RATE = 48000.0
NS = 1e9 / RATE  # nanoseconds per frame
JUMP = 30e6  # ns: an arrival later than the stretch's floor by this much, for good, starts a new one
FULL_SCALE = 32700


def read_lines(path, key=None):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        rows = [line.rstrip("\n").split(" ") for line in f if line.strip()]
    return [r[1:] for r in rows if r[0] == key] if key else rows


def stretches(txt, total):
    """Chunks (frame, capture, arrival offset, stretch) of a recording."""
    chunks, seg = [], -1
    for row in read_lines(txt):
        if row[0] == "segment":
            seg += 1
        elif row[0] == "audio":
            chunks.append([int(row[1]), int(row[2]), int(row[3]), seg])
    for i, c in enumerate(chunks):
        end = chunks[i + 1][0] if i + 1 < len(chunks) else total
        c[2] = c[2] - end * NS  # arrival offset: when frame 0 would have arrived
    # A lasting jump of the arrival within one connection starts a new stretch.
    frames = [c[0] for c in chunks]
    stretch, floor_start = 0, 0
    for i, c in enumerate(chunks):
        if i and c[3] != chunks[i - 1][3]:
            stretch, floor_start = stretch + 1, i
        elif i:
            j, ahead = i, c[2]
            while j < len(chunks) and chunks[j][3] == c[3] and (chunks[j][0] - c[0]) < RATE / 2:
                ahead = min(ahead, chunks[j][2])
                j += 1
            lo = bisect.bisect_left(frames, c[0] - RATE, floor_start, i)
            floor = min(x[2] for x in chunks[lo:i]) if lo < i else c[2]
            if ahead > floor + JUMP:
                stretch, floor_start = stretch + 1, i
        c[3] = stretch
    return chunks


class Recording:
    def __init__(self, folder, sink):
        raw = os.path.join(folder, f"rec-{sink}.raw")
        self.sink = sink
        self.samples = array.array("h")
        if os.path.exists(raw):
            with open(raw, "rb") as f:
                self.samples.frombytes(f.read())
        self.chunks = stretches(os.path.join(folder, f"rec-{sink}.txt"), len(self.samples))
        self.frames = [c[0] for c in self.chunks]
        above = []
        for i in range(0, len(self.chunks), 5):
            f, capture, _, _ = self.chunks[i]
            if capture:
                above.append(capture - f * NS - self.envelope(f))
        self.level = statistics.median(above) if above else 0.0
        self.lost = [(int(f), int(t)) for f, t in read_lines(os.path.join(folder, f"rec-{sink}.txt"), "lost")]

    def stretch_of(self, frame):
        i = max(0, bisect.bisect_right(self.frames, frame) - 1)
        return self.chunks[i][3] if self.chunks else 0

    def envelope(self, frame):
        s = self.stretch_of(frame)
        lo = bisect.bisect_left(self.frames, frame - RATE)
        hi = bisect.bisect_right(self.frames, frame + RATE)
        near = [c[2] for c in self.chunks[lo:hi] if c[3] == s]
        return min(near) if near else 0.0

    def time(self, frame):
        return frame * NS + self.envelope(frame) + self.level

    def clicks(self, folder):
        out = []
        for row in read_lines(os.path.join(folder, f"rec-{self.sink}.onsets"), "rec.onset"):
            f = float(row[0])
            i = int(f)
            peak = max((abs(v) for v in self.samples[i:i + 2400]), default=0)
            out.append({"sink": self.sink, "frame": f, "t": self.time(f),
                        "stretch": self.stretch_of(f), "peak": peak / 32768,
                        "clipped": peak >= FULL_SCALE})
        return out


def load_run(folder):
    meta = {"marks": [], "instances": [], "recordings": [], "press": {}, "notes": []}
    for row in read_lines(os.path.join(folder, "meta.txt")):
        key = row[0]
        if key == "mark":
            meta["marks"].append((int(row[1]), " ".join(row[2:])))
        elif key == "instance":
            meta["instances"].append({"name": row[1], "tempo": float(row[3])})
        elif key == "recording":
            meta["recordings"].append(row[1])
        elif key == "press":
            meta["press"][row[1]] = int(row[2])
        elif key.startswith("failed"):
            meta["notes"].append(" ".join(row))
        else:
            meta[key] = " ".join(row[1:])
    meta["marks"].sort()
    recs = {s: Recording(folder, s) for s in meta["recordings"]}
    for inst in meta["instances"]:
        name = inst["name"]
        # With two instances each plays on a sink of its own; otherwise every sink recorded
        # is the one instance's, merged by time.
        sinks = [s for s in recs if len(meta["instances"]) == 1 or s.endswith("_" + name.lower())]
        inst["clicks"] = sorted((c for s in sinks for c in recs[s].clicks(folder)),
                                key=lambda c: c["t"])
        inst["pictures"] = sorted(int(t) for t, _ in read_lines(
            os.path.join(folder, f"watch-{name}.txt"), "picture"))
        inst["lines"] = [(int(r[0]), " ".join(r[1:])) for r in
                         read_lines(os.path.join(folder, f"program-{name}.err")) if r[0].isdigit()]
        inst["press"] = meta["press"].get(name)
    meta["lost"] = {s: r.lost for s, r in recs.items() if r.lost}
    return meta


def intervals(clicks, ideal):
    """Each click's interval from the one before: frames, and whether it crosses sinks or
    stretches (then it comes from the clock)."""
    for i, c in enumerate(clicks):
        if i == 0:
            c["ival"], c["cross"] = None, False
            continue
        p = clicks[i - 1]
        c["cross"] = p["sink"] != c["sink"] or p["stretch"] != c["stretch"]
        c["ival"] = (c["t"] - p["t"]) / NS if c["cross"] else c["frame"] - p["frame"]
        c["dev"] = c["ival"] - ideal


def pair_pictures(clicks, pictures, period_ns):
    """Nearest light change to each click within 0.45 of a beat, each used once."""
    used = set()
    for c in clicks:
        i = bisect.bisect_left(pictures, c["t"])
        best = None
        for j in (i - 1, i, i + 1):
            if 0 <= j < len(pictures) and j not in used and abs(pictures[j] - c["t"]) <= 0.45 * period_ns:
                if best is None or abs(pictures[j] - c["t"]) < abs(pictures[best] - c["t"]):
                    best = j
        if best is not None:
            used.add(best)
        c["pic"] = None if best is None else (pictures[best] - c["t"]) / 1e6
