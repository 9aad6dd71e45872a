"""Prints the user-flow bench's figures: report.py FOLDER TEMPO.

Each run's file holds the bench's own "bench.*" lines (server, quantum, load, load average, how
long the recorder ran), the driver's "key value" lines (the beats shown, the sound's figures,
and the stream frames at which clicks were written) and the onsets found in the recording.
Every interval between consecutive recorded clicks is counted, whatever happened in it: the
server's dropouts and pw-top's error count are shown beside the figures, and nothing is left
out for them. Onsets are interpolated by the onset finder, so an interval within half a frame
of the ideal counts as exact. A gap of 1.5 periods or more is taken for lost clicks (one less
than the periods it spans), two onsets less than half a period apart for a doubled click.
Sounds too soft for the onset finder (their starts are listed by sound_starts.py) are counted
and shown apart (under a peak of 0.05, as scraps of a click rather than beats heard), with the
interval from their start to the next sound's start: a start found at a low level on a slow
attack is a few frames later than a click's, so that interval is not comparable to the
finder's to the frame."""

import glob
import os
import re
import sys

RATE = 48000.0
EXACT = 0.5  # frames: what the onset finder's interpolation can leave on an exact interval
SOFT = 0.05  # peak: a soft sound below it is taken for a scrap of a click, not a beat heard


def load(path):
    values, onsets = {}, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == "rec.onset":
                onsets.append(float(parts[1]))
            elif parts[0] == "frames.onsets":
                values[parts[0]] = [int(v) for v in parts[1:]]
            elif parts[0] == "rec.sound":
                values.setdefault("rec.sound", []).append((int(parts[1]), float(parts[2])))
            elif parts[0] == "bench.forced":
                values.setdefault("bench.forced", []).append(" ".join(parts[1:]))
            elif len(parts) >= 2:
                values[parts[0]] = " ".join(parts[1:])
    values["rec.onset"] = onsets
    return values


def pwtop(path):
    """From the pw-top screens of a run: the quantum of the bench's sink's graph at each reading,
    and the error count of the program's stream ("Cadrel") at the last reading that shows it.
    Also the other graphs running meanwhile (drivers other than the bench's, with a quantum)."""
    if not os.path.exists(path):
        return None
    quanta, err, others = [], None, set()
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.split()
            if not fields or fields[0] == "@@":
                continue
            if len(fields) < 9 or not fields[1].isdigit():
                continue
            if fields[-1] == "cadrel_flow" and "+" not in fields:
                quanta.append(fields[2])
            elif line.rstrip().endswith("Cadrel") and fields[8].isdigit():
                err = int(fields[8])
            elif "+" not in fields and fields[0] == "R" and fields[2] != "0":
                others.add(fields[-1])
    steps = [q for i, q in enumerate(quanta) if i == 0 or q != quanta[i - 1]]
    return {"quanta": ">".join(steps) or "?", "err": err, "others": sorted(others)}


def deviation_key(d):
    if abs(d) < EXACT:
        return 0
    return int(round(d))


def measure(run, ideal):
    rec = run["rec.onset"]
    intervals = [b - a for a, b in zip(rec, rec[1:])]
    m = {"recorded": len(rec), "intervals": len(intervals)}
    lost = sum(max(0, round(i / ideal) - 1) for i in intervals if i >= 1.5 * ideal)
    doubled = sum(1 for i in intervals if i < 0.5 * ideal)
    m.update(lost=lost, doubled=doubled)
    if intervals:
        devs = [i - ideal for i in intervals]
        m["spread"] = max(intervals) - min(intervals)
        m["worst"] = max(abs(d) for d in devs)
        m["exact"] = all(abs(d) < EXACT for d in devs)
        hist = {}
        for d in devs:
            k = deviation_key(d)
            hist[k] = hist.get(k, 0) + 1
        m["histogram"] = hist
    # Sounds the onset finder passed over (too soft for its threshold): each with its peak and
    # the interval from its start to the next sound's start, both taken the same way.
    sounds = run.get("rec.sound", [])
    soft = []
    for k, (start, peak) in enumerate(sounds):
        if any(abs(o - start) < RATE / 1000 for o in rec):
            continue
        following = sounds[k + 1][0] - start if k + 1 < len(sounds) else None
        soft.append((start, peak, following))
    m["soft"] = soft
    written = run.get("frames.onsets", [])
    wi = [b - a for a, b in zip(written, written[1:])]
    m["written_worst"] = max((abs(i - ideal) for i in wi), default=None)
    # Where the first recorded click falls after the press, were the recording to have started
    # when the recorder was started: a recording that started late shows it too early.
    try:
        press = float(run["bench.launch_in_rec_s"]) + float(run["start_after_launch_s"])
        m["first_after_press_ms"] = (rec[0] / RATE - press) * 1000 if rec else None
        stop = press + float(run["bench.seconds"])
        m["last_after_stop_ms"] = (rec[-1] / RATE - stop) * 1000 if rec else None
        m["rec_short_s"] = float(run["bench.rec_wall_s"]) - float(run["rec.seconds"])
    except (KeyError, ValueError):
        m["first_after_press_ms"] = m["rec_short_s"] = m["last_after_stop_ms"] = None
    return m


def intval(run, key):
    try:
        return int(run[key])
    except (KeyError, ValueError):
        return None


def fmt(v, spec, width):
    return f"{'-':>{width}}" if v is None else f"{v:{width}{spec}}"


def hist_text(hist):
    return " ".join(f"{k:+d}:{v}" if k else f"0:{v}" for k, v in sorted(hist.items()))


def main():
    folder, tempo = sys.argv[1], float(sys.argv[2])
    ideal = 60.0 / tempo * RATE
    conditions = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.txt")),
                       key=lambda p: [int(t) if t.isdigit() else t for t in re.split(r"(\d+)", p)]):
        name = os.path.basename(path)[:-4]
        run = load(path)
        server = run.get("bench.server", name.split("-")[0])
        quantum = run.get("bench.quantum", "-")
        load_ = run.get("bench.load", name.rsplit("-", 2)[-2])
        m = measure(run, ideal)
        top = pwtop(os.path.join(folder, name + ".pwtop"))
        conditions.setdefault((server, quantum, load_), []).append((name, run, m, top))

    print(f"tempo {tempo:g} bpm, ideal interval {ideal:.1f} frames ({ideal / RATE * 1000:g} ms). "
          f"Every interval between recorded clicks counts; exact: within {EXACT} frame of the "
          "ideal (onsets are interpolated). dev: interval - ideal, in frames. "
          "shown: the beats the window counted; rec: clicks the onset finder found; wrote: clicks the stream "
          "was given. drops: the server said it ran dry (sound.dropouts); ERR: pw-top's errors "
          "for the stream. lost/dbl: gaps of 1.5 periods or more (clicks missing), onsets under "
          "half a period apart. 1st ms: first recorded click after the press, last ms: last "
          "one after the stop, as if the recording had started with the recorder; short s: recorder's wall time less the "
          "recording's length. written worst: the stream's own onsets, frames off the ideal.")
    head = (f"{'run':30}{'start s':>8}{'load':>6}{'shown':>6}{'rec':>5}{'wrote':>6}{'ivals':>6}"
            f"{'spread fr':>10}{'spread ms':>10}{'worst fr':>9}{'exact':>6}{'lost':>5}{'dbl':>4}"
            f"{'drops':>6}{'ERR':>4}{'wr worst':>9}{'1st ms':>8}{'last ms':>8}{'short s':>8}  quantum"
            "  histogram (dev:intervals)")
    order = {"pulseaudio": 0, "pipewire": 1, "-": 0, "default": 1, "128": 2, "256": 3,
             "1024": 4, "change": 5, "quiet": 0, "build": 1, "loaded": 2}
    summary = []
    for (server, quantum, load_), runs in sorted(
            conditions.items(),
            key=lambda c: tuple(order.get(x, 9) for x in c[0])):
        label = server + ("" if quantum == "-" else f" quantum {quantum}") + f", {load_}"
        print(f"\n{label}")
        print(head)
        exact = dropouts = errs = lost = doubled = equal = measured = soft_count = scrap_count = 0
        written_worst = None
        soft_devs = []
        worst = None
        late, short = [], []
        quanta = set()
        others = set()
        for name, run, m, top in runs:
            shown, wrote = intval(run, "beats"), intval(run, "sound.clicks")
            drops = intval(run, "sound.dropouts")
            dropouts += drops or 0
            err = top["err"] if top else None
            errs += err or 0
            if top:
                quanta.add(top["quanta"])
                others.update(top["others"])
            lost += m["lost"]
            doubled += m["doubled"]
            heard = m["recorded"] + sum(1 for _, peak, _ in m["soft"] if peak >= SOFT)
            if (m["rec_short_s"] or 0) > 0.2:
                short.append(m["rec_short_s"])
            equal += shown == heard
            if shown is not None and heard < shown and (
                    (m["first_after_press_ms"] is not None and m["first_after_press_ms"] < 0)
                    or (m["rec_short_s"] or 0) > ideal / RATE):
                late.append(name)
            if "spread" not in m:
                print(f"{name:30} {m['recorded']} clicks recorded, no interval; shown {shown}, "
                      f"dropouts {drops}")
                continue
            measured += 1
            exact += m["exact"]
            worst = m["worst"] if worst is None else max(worst, m["worst"])
            if m["written_worst"] is not None:
                written_worst = max(written_worst or 0, m["written_worst"])
            print(f"{name:30}{float(run.get('start_after_launch_s', 'nan')):8.2f}"
                  f"{run.get('bench.loadavg', '?'):>6}{fmt(shown, 'd', 6)}{m['recorded']:5d}"
                  f"{fmt(wrote, 'd', 6)}{m['intervals']:6d}{m['spread']:10.2f}"
                  f"{m['spread'] / RATE * 1000:10.4f}{m['worst']:9.2f}"
                  f"{'yes' if m['exact'] else 'no':>6}{m['lost']:5d}{m['doubled']:4d}"
                  f"{fmt(drops, 'd', 6)}{fmt(err, 'd', 4)}{fmt(m['written_worst'], '.0f', 9)}"
                  f"{fmt(m['first_after_press_ms'], '.0f', 8)}{fmt(m['last_after_stop_ms'], '.0f', 8)}"
                  f"{fmt(m['rec_short_s'], '.2f', 8)}"
                  f"  {top['quanta'] if top else '-'}  {hist_text(m['histogram'])}")
            for start, peak, following in m["soft"]:
                soft_count += peak >= SOFT
                scrap_count += peak < SOFT
                dev = "-" if following is None else f"{following - ideal:+.0f}"
                soft_devs.append(dev)
                kind = "soft sound" if peak >= SOFT else "scrap"
                print(f"{'':30}{kind} at {start / RATE:.3f} s in the recording, peak "
                      f"{peak:.3f}, start to next start {following} frames ({dev})")
            if run.get("bench.forced"):
                print(f"{'':30}forced: {'; '.join(run['bench.forced'])}")
        n = len(runs)
        print(f"every interval exact: {exact} of {n}; worst deviation "
              f"{'-' if worst is None else f'{worst:.2f}'} frames; dropouts {dropouts}; "
              f"pw-top ERR {errs if server == 'pipewire' else '-'}; lost {lost}, doubled {doubled}; "
              f"soft sounds {soft_count}, scraps {scrap_count} (start to next: "
              f"{' '.join(sorted(set(soft_devs))) or '-'}); "
              f"beats shown = clicks + soft sounds recorded in {equal} of {n}"
              + (f"; recording short (started late) by {min(short):.2f}-{max(short):.2f} s in "
                 f"{len(short)} runs" if short else "")
              + (f", beats missing from it in {', '.join(late)}" if late else "")
              + (f"; other graphs running: {', '.join(sorted(others))}" if others else ""))
        summary.append((label, f"{exact} of {n}", "-" if worst is None else f"{worst:.2f}",
                        str(dropouts), str(errs) if server == "pipewire" else "-",
                        "-" if written_worst is None else f"{written_worst:.0f}",
                        f"{lost}/{doubled}", f"{soft_count}/{scrap_count}", f"{equal} of {n}",
                        " ".join(sorted(quanta)) or "-"))

    print("\nsummary")
    cols = ("condition", "exact runs", "worst dev fr", "dropouts", "pw-top ERR", "written worst",
            "lost/dbl", "soft/scraps", "shown=heard", "quantum seen")
    widths = [max(len(cols[i]), *(len(s[i]) for s in summary)) + 2 for i in range(len(cols))]
    print("".join(c.ljust(w) for c, w in zip(cols, widths)))
    for s in summary:
        print("".join(c.ljust(w) for c, w in zip(s, widths)))


if __name__ == "__main__":
    main()
