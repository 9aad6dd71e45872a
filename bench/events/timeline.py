"""Reads one run of the events bench into clicks on CLOCK_MONOTONIC (used by report.py).

A recording's frames are put on the clock by its timeline (cadrel_events_record's "audio FRAME
CAPTURE NOW" lines, the capture time read from timing refreshed at every read; a native
PipeWire recording's lines carry each chunk's graph time instead, taken chunk by chunk): a null sink's
frames keep pace with the clock, so within a stretch frame f is heard at f / 48 kHz plus one
offset, the median of the readings in the stretch's first steady seconds (one reading wanders
by milliseconds on pipewire-pulse, and they shift when the graph's quantum or rate changes,
while the frames go on at the same pace). A stretch of the recording ends where the recorder connected again (a server restarted)
or where the chunks' arrival jumps for good by more than any quantum (a suspended sink
delivered nothing meanwhile): the time between two clicks in different stretches, or on
different sinks, comes from the clock, within the clock mapping's accuracy; in
one stretch it is the difference of their frames, to the onset finder's fraction of a frame."""

import array
import bisect
import os
import statistics

RATE = 48000.0
NS = 1e9 / RATE  # nanoseconds per frame
JUMP = 100e6  # ns: more than a quantum's delivery: a gap in what the source delivered
FULL_SCALE = 32700


def read_lines(path, key=None):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        rows = [line.rstrip("\n").split(" ") for line in f if line.strip()]
    return [r[1:] for r in rows if r[0] == key] if key else rows


def stretches(txt, total):
    """Chunks [frame, capture offset, arrival offset, stretch] of a recording (offsets: when
    frame 0 was captured, or would have arrived, by this chunk)."""
    chunks, conn, seg = [], [], -1
    for row in read_lines(txt):
        if row[0] == "segment":
            seg += 1
        elif row[0] == "audio":
            f = int(row[1])
            chunks.append([f, int(row[2]) - f * NS if int(row[2]) else None, int(row[3]), 0,
                           int(row[3])])
            conn.append(seg)
    for i, c in enumerate(chunks):
        end = chunks[i + 1][0] if i + 1 < len(chunks) else total
        c[2] = c[2] - end * NS
    # A lasting jump of the arrival within one connection (the source delivered nothing for a
    # while: a suspended sink) starts a new stretch; so does connecting again.
    frames = [c[0] for c in chunks]
    stretch, floor_start = 0, 0
    for i, c in enumerate(chunks):
        if i and conn[i] != conn[i - 1]:
            stretch, floor_start = stretch + 1, i
        elif i:
            j, ahead = i, c[2]
            while j < len(chunks) and conn[j] == conn[i] and chunks[j][0] - c[0] < RATE / 2:
                ahead = min(ahead, chunks[j][2])
                j += 1
            lo = bisect.bisect_left(frames, c[0] - RATE, floor_start, i)
            if ahead > min(x[2] for x in chunks[lo:i]) + JUMP:
                stretch, floor_start = stretch + 1, i
        c[3] = stretch
    return chunks


class Recording:
    def __init__(self, folder, sink, before):
        self.before = before  # the event's first step
        raw = os.path.join(folder, f"rec-{sink}.raw")
        self.sink = sink
        self.samples = array.array("h")
        if os.path.exists(raw):
            with open(raw, "rb") as f:
                self.samples.frombytes(f.read())
        txt = os.path.join(folder, f"rec-{sink}.txt")
        self.chunks = stretches(txt, len(self.samples))
        # A native PipeWire recording stamps each chunk with the graph cycle it was played in:
        # its frames are put on the clock chunk by chunk, so frames the recorder lost (a
        # quantum or rate change renegotiates its stream) do not move the later ones.
        self.graph = bool(read_lines(txt, "clock"))
        self.frames = [c[0] for c in self.chunks]
        self.offsets = {}
        self.lost = [(int(f), int(t)) for f, t in read_lines(txt, "lost")]
        # Stretches of the sink's output a native recorder was not given (its cycles missed on a
        # busy machine), on the clock: a click due in one is not heard by it, not missing.
        self.gaps = []
        if self.graph:
            for c, n in zip(self.chunks, self.chunks[1:]):
                # Within one stretch: across a restart nothing was heard, recorded or not. A
                # stall long enough to start a new stretch may be the server's own, so the clicks
                # due in it count as missing.
                if c[3] == n[3] and c[1] is not None and n[1] is not None and n[1] - c[1] > 0.5e6:
                    self.gaps.append((n[0] * NS + c[1], n[0] * NS + n[1]))

    def unrecorded(self, t):
        """Whether a click at `t` would fall in output the recorder missed."""
        i = bisect.bisect_right(self.gaps, (t + 3e6, float("inf")))
        return i > 0 and self.gaps[i - 1][1] + 1e6 >= t

    def stretch_of(self, frame):
        i = max(0, bisect.bisect_right(self.frames, frame) - 1)
        return self.chunks[i][3] if self.chunks else 0

    def offset(self, frame):
        """When frame 0 was heard, by the stretch's capture readings (their median); by the
        earliest arrival where there are none."""
        if self.graph and self.chunks:
            chunk = self.chunks[max(0, bisect.bisect_right(self.frames, frame) - 1)]
            if chunk[1] is not None:
                return chunk[1]
        s = self.stretch_of(frame)
        if s not in self.offsets:
            part = [c for c in self.chunks if c[3] == s]
            # From steady seconds: the 5 before the event, while the program beats, where the
            # stretch has them (a change of quantum or rate shifts the readings, not the frames).
            steady = [c for c in part if 0.5e9 <= self.before - c[4] < 5.5e9]
            if len(steady) <= 20:
                steady = [c for c in part if RATE / 2 <= c[0] - part[0][0] < 5.5 * RATE]
            part = steady if len(steady) > 20 else part
            readings = [c[1] for c in part if c[1] is not None]
            self.offsets[s] = (statistics.median(readings) if readings
                               else min((c[2] for c in part), default=0.0))
        return self.offsets[s]

    def floor(self, frame, width=2):
        """The earliest arrival offset within `width` seconds of the frame, in its stretch."""
        s = self.stretch_of(frame)
        lo = bisect.bisect_left(self.frames, frame - width * RATE)
        hi = bisect.bisect_right(self.frames, frame + width * RATE)
        return min((c[2] for c in self.chunks[lo:hi] if c[3] == s), default=0.0)

    def behind(self):
        """How far the recording fell behind the clock from its first steady seconds to its end
        (ms): frames lost by the recorder or not played by the sink, which the frames-only
        mapping cannot see."""
        if len(self.frames) < 2:
            return 0.0
        return (self.floor(self.frames[-1] - 10 * RATE, 10) - self.floor(self.frames[0] + 10 * RATE, 10)) / 1e6

    def time(self, frame):
        return frame * NS + self.offset(frame)

    def clicks(self, folder):
        out = []
        for row in read_lines(os.path.join(folder, f"rec-{self.sink}.onsets"), "rec.onset"):
            f = float(row[0])
            i = int(f)
            peak = max((abs(v) for v in self.samples[i:i + 2400]), default=0)
            out.append({"sink": self.sink, "frame": f, "t": self.time(f), "rec": self,
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
    first = meta["marks"][0][0] if meta["marks"] else 0
    recs = {s: Recording(folder, s, first) for s in meta["recordings"]}
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
        inst["behind"] = {s: recs[s].behind() for s in sinks}
        inst["overflows"] = sum(len(read_lines(os.path.join(folder, f"rec-{s}.txt"), "overflow"))
                                for s in sinks)
        inst["recs"] = [recs[s] for s in sinks]
        ends = [recs[s].time(len(recs[s].samples)) for s in sinks if recs[s].chunks]
        inst["end"] = max(ends) if ends else None  # when the last frame recorded was heard
    meta["lost"] = {s: r.lost for s, r in recs.items() if r.lost}
    return meta


def intervals(clicks, ideal):
    """Each click's interval from the one before: frames, and whether it crosses sinks or
    stretches (then it comes from the clock). In a native PipeWire recording the frames are put
    on the graph's clock chunk by chunk, so its intervals come from that clock: a cycle the
    recorder missed is not an interval short."""
    for i, c in enumerate(clicks):
        if i == 0:
            c["ival"], c["cross"] = None, False
            continue
        p = clicks[i - 1]
        c["cross"] = p["sink"] != c["sink"] or p["stretch"] != c["stretch"]
        by_clock = c["cross"] or (c["rec"].graph and p["rec"].graph)
        c["ival"] = (c["t"] - p["t"]) / NS if by_clock else c["frame"] - p["frame"]
        # Beats between them that fell where the recorder was given nothing.
        beats = round(c["ival"] / ideal) - 1 if c["ival"] >= 1.5 * ideal else 0
        c["unrecorded"] = sum(p["rec"].unrecorded(p["t"] + k * ideal * NS)
                              for k in range(1, beats + 1))
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
