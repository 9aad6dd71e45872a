"""Prints the user-flow bench's figures: report.py FOLDER TEMPO.

Each run's file holds the driver's "key value" lines (with the output frames at which clicks
started, the server said it ran dry, the clock took a jump over, the requests alone jumped, and
the grid was laid again) and the onsets found in the recording. Recorded and started clicks are matched in order. A
dropout the program detected is left out of the spread and the worst error, and counted: the
interval that holds it, and the interval ending at the first click put back on time after it
(the clicks after a dropout keep their spacing until they lag by more than the bound; the
click placed once the dropout was taken over is then put back in one step, and when the
dropout came after that click had been written, that step falls in the next interval)."""

import glob
import os
import re
import sys

RATE = 48000.0


def load(path):
    values, onsets = {}, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if len(parts) < 1:
                continue
            if parts[0] == "rec.onset":
                onsets.append(float(parts[1]))
            elif parts[0].startswith("frames."):
                values[parts[0]] = [int(v) for v in parts[1:]]
            elif len(parts) >= 2:
                values[parts[0]] = parts[1]
    values["rec.onsets"] = onsets
    return values


def pwtop_errors(path):
    """The ERR column of the program's stream ("Cadrel") in a pw-top screen, or None."""
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.rstrip().endswith("Cadrel"):
                fields = line.split()
                if len(fields) >= 9 and fields[8].isdigit():
                    return int(fields[8])
    return None


def measure(run, ideal_frames):
    rec = run["rec.onsets"]
    started = run.get("frames.onsets", [])
    marks = (run.get("frames.dropouts", []) + run.get("frames.clock_steps", [])
             + run.get("frames.request_jumps", []))
    relaid = run.get("frames.grid_relaid", [])
    back = {min((r for r in relaid if r >= d), default=None) for d in marks} - {None}
    matched = len(rec) == len(started) and len(rec) > 1
    intervals, written, excluded = [], [], 0
    for k in range(1, len(rec)):
        holds = any(started[k - 1] < d <= started[k] for d in marks)
        if matched and (holds or started[k] in back):
            excluded += 1
            continue
        intervals.append(rec[k] - rec[k - 1])
        if matched:
            written.append(started[k] - started[k - 1])
    if not intervals:
        return None
    spread = max(intervals) - min(intervals)
    worst = max(abs(i - ideal_frames) for i in intervals) / RATE * 1000
    histogram = {}
    for i in intervals:
        d = round(i - ideal_frames)
        key = str(d) if abs(d) <= 2 else ("<-2" if d < 0 else ">2")
        histogram[key] = histogram.get(key, 0) + 1
    grid_rate = float(run.get("sound.grid_rate", RATE))
    # The mean of the intervals written into the stream, at the rate the grid counted with.
    mean_ms = sum(written) / len(written) / grid_rate * 1000 if written else float("nan")
    return {"spread": spread, "worst": worst, "excluded": excluded, "histogram": histogram,
            "matched": matched, "mean_ms": mean_ms}


def main():
    folder, tempo = sys.argv[1], float(sys.argv[2])
    ideal_frames = 60.0 / tempo * RATE
    conditions = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.txt")),
                       key=lambda p: [int(t) if t.isdigit() else t for t in re.split(r"(\d+)", p)]):
        name = os.path.basename(path)[:-4]
        server, load_, _ = name.rsplit("-", 2)
        run = load(path)
        m = measure(run, ideal_frames)
        err = pwtop_errors(os.path.join(folder, name + ".pwtop"))
        conditions.setdefault((server, load_), []).append((name, run, m, err))

    print(f"tempo {tempo:g} bpm, ideal interval {ideal_frames:.1f} frames; spread and worst error "
          "leave out the intervals a dropout the program detected moved (where it fell, and the "
          "step back on time); dry: the server said it ran dry; jumps: of the sound's timeline; "
          "req: of the requests alone, which may or may not have broken the sound; "
          "mean: the intervals written, at the grid's rate")
    head = (f"{'run':24}{'start s':>8}{'clicks':>7}{'late':>5}{'spread fr':>10}{'spread ms':>10}"
            f"{'worst ms':>9}{'mean-ideal ms':>14}{'dry':>4}{'jumps':>6}{'req':>4}{'left out':>9}"
            f"{'pw-top ERR':>11}  histogram (frames off the ideal: intervals)")
    order = {"pulseaudio": 0, "pipewire": 1, "quiet": 0, "loaded": 1}
    for (server, load_), runs in sorted(conditions.items(),
                                        key=lambda c: (order.get(c[0][0], 9), order.get(c[0][1], 9))):
        print(f"\n{server}, {load_}")
        print(head)
        good_spread = good_worst = 0
        for name, run, m, err in runs:
            if m is None:
                print(f"{name:24} no clicks measured")
                continue
            good_spread += m["spread"] <= 2.0 + 1e-6  # onsets are found to a fraction of a frame
            good_worst += m["worst"] <= 1.0 + 1e-9
            hist = " ".join(f"{k}:{v}" for k, v in sorted(m["histogram"].items()))
            clicks = run.get("sound.clicks", "?") + ("" if m["matched"] else "*")
            print(f"{name:24}{float(run.get('start_after_launch_s', 'nan')):8.2f}{clicks:>7}"
                  f"{run.get('sound.late', '?'):>5}{m['spread']:10.2f}{m['spread'] / RATE * 1000:10.4f}"
                  f"{m['worst']:9.4f}{m['mean_ms'] - 60000.0 / tempo:14.6f}"
                  f"{run.get('sound.dropouts', '?'):>4}{run.get('sound.clock_steps', '?'):>6}"
                  f"{run.get('sound.request_jumps', '-'):>4}"
                  f"{m['excluded']:9}{'' if err is None else err:>11}  {hist}")
        print(f"runs with spread <= 2 frames: {good_spread} of {len(runs)}; "
              f"worst error <= 1 ms: {good_worst} of {len(runs)}")
    print("\n* recorded and started clicks differ in number; nothing was left out of that run")


if __name__ == "__main__":
    main()
