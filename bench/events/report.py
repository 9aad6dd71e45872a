"""Prints the events bench's tables: report.py FOLDER.

Per run: for each step of the event, the last 2 intervals before it and every interval in the
5 s after it (ms, frames, and frames off the ideal), each click's peak and its picture-to-click
offset (light change minus click heard; positive: the picture comes late); doubled (interval
under half a period), clipped (peak at full scale) and missing clicks (a gap of 1.5 periods or
more counts one less than the periods it spans); the program's lines and pw-top's errors beside
them. Every interval heard counts, whatever happened. An interval marked ~ spans two sinks or a
gap in the recording and is measured on the clock (to about a millisecond), the others in the
recording's frames; a native PipeWire recording's intervals all come from the graph's clock.
Clicks due where a native recorder was not given the sink's output are counted apart from the
missing ones. Then a summary table, event by server. Asserts nothing."""

import glob
import os
import re
import statistics
import sys

from timeline import NS, RATE, intervals, load_run, pair_pictures, read_lines

EXACT = 1.0  # frames: an interval this close to the ideal is exact
PICTURE = 5.0  # ms: a picture this close to its click is with it
WINDOW = 5e9  # ns after each step


def fmt(v, spec="+.2f", none="-"):
    return none if v is None else format(v, spec)


def exact(c, ideal):
    return c["ival"] is not None and not c["cross"] and abs(c["ival"] - ideal) <= EXACT


def missing(c, ideal):
    """Beats with no click between this click and the one before, but for those due where the
    recorder was given nothing (counted apart)."""
    gone = max(0, round(c["ival"] / ideal) - 1) if c["ival"] and c["ival"] >= 1.5 * ideal else 0
    return gone - c.get("unrecorded", 0)


def pwtop(folder):
    """Per pw-top screen: the program's streams' quantum, rate and ERR."""
    out, label = [], None
    for row in read_lines(os.path.join(folder, "pwtop.txt")):
        if row[0] == "@@":
            label = " ".join(row[1:])
            out.append((label, []))
            continue
        f = [x for x in row if x]
        if out and f and f[-1] == "Cadrel" and len(f) > 9:
            out[-1][1].append(f"Cadrel q {f[2]} rate {f[3]} ERR {f[8]}")
        elif out and f and re.fullmatch(r"cadrel_(events_[ab]|null)", f[-1]) and f[0] == "R":
            out[-1][1].append(f"{f[-1]} graph q {f[2]} rate {f[3]} ERR {f[8]}")
    return out


def settle(after, ideal, span=8):
    """The beat after the step from which `span` beats in a row are exactly spaced and shown
    within 5 ms of their click (1: the first click after the step already begins such a run),
    and how many intervals after the step were not exact."""
    after = [c for c in after if c["ival"] is not None or c is not after[0]]
    disturbed = sum(1 for c in after if c["ival"] is not None and not exact(c, ideal))
    for k in range(len(after) - min(span, 4) + 1):
        rest = after[k:k + span]
        if all(exact(c, ideal) for c in rest[1:]) and all(
                c["pic"] is not None and abs(c["pic"]) <= PICTURE for c in rest):
            return k + 1, disturbed
    return None, disturbed


def shift(before, after, period_ns):
    """How far the clicks late after the step sit off the grid of the last click before it (ms)."""
    if not before or len(after) < 4:
        return None
    t0 = before[-1]["t"]
    offs = [((c["t"] - t0) / period_ns + 0.5) % 1 - 0.5 for c in after[-4:]]
    return statistics.median(offs) * period_ns / 1e6


def run_report(folder, name):
    meta = load_run(folder)
    print(f"\n=== {name}: {meta.get('event')} on {meta.get('server', '?').split()[0]}; load average "
          f"{meta.get('loadavg_start', '?')} .. {meta.get('loadavg_end', '?')}; other PipeWire "
          f"daemons {meta.get('other_pipewire', '?')}")
    for n in meta["notes"]:
        print("  note:", n)
    if meta.get("streams") is not None:
        print(f"  3 s after the event: sink inputs (input@sink) {meta.get('streams') or 'none'}; "
              f"sinks {meta.get('sinks', '?')}")
    if meta.get("streams_after_move") is not None:
        print(f"  0.5 s after the move: sink inputs {meta['streams_after_move']}")
    for sink, lost in meta["lost"].items():
        print(f"  recorder of {sink} lost the server {len(lost)} time(s) and connected again")
    marks = meta["marks"]
    result = {"event": meta.get("event"), "server": meta.get("server", "?").split()[0],
              "load": meta.get("loadavg_start", "?").split()[0], "inst": []}
    for inst in meta["instances"]:
        ideal = 60 * RATE / inst["tempo"]
        period_ns = ideal * NS
        clicks = inst["clicks"]
        intervals(clicks, ideal)
        pair_pictures(clicks, inst["pictures"], period_ns)
        first = marks[0][0] if marks else 0
        print(f"-- instance {inst['name']} at {inst['tempo']:g} bpm (ideal {ideal:.0f} frames, "
              f"{ideal / RATE * 1000:g} ms): {len(clicks)} clicks heard, "
              f"{len(inst['pictures'])} light changes")
        print("  the recording behind the clock at its end (lost or unplayed frames): "
              + ", ".join(f"{k.replace('cadrel_', '')} {v:+.1f} ms" for k, v in inst["behind"].items())
              + f"; recorder overflows {inst['overflows']}")
        res = {"name": inst["name"], "tempo": inst["tempo"], "steps": [], "worst": None}
        for i, (m, label) in enumerate(marks):
            nxt = marks[i + 1][0] if i + 1 < len(marks) else float("inf")
            before = [c for c in clicks if c["t"] < m]
            after = [c for c in clicks if m <= c["t"] < min(nxt, m + WINDOW)]
            upto = [c for c in clicks if m <= c["t"] < nxt]
            print(f"  step '{label}' at {(m - first) / 1e9:+.2f} s")
            print(f"    {'t-step s':>9} {'interval ms':>12} {'frames':>10} {'dev fr':>9} "
                  f"{'peak':>6} {'pic-click ms':>12}  notes")
            for c in before[-2:] + after:
                notes = []
                if c["ival"] is not None and c["ival"] < 0.5 * ideal:
                    notes.append("DOUBLED")
                if c["clipped"]:
                    notes.append("CLIPPED")
                if missing(c, ideal):
                    notes.append(f"MISSING {missing(c, ideal)}")
                if c.get("unrecorded"):
                    notes.append(f"{c['unrecorded']} due where the recorder missed cycles")
                if len({x["sink"] for x in clicks}) > 1:
                    notes.append(c["sink"].replace("cadrel_events_", "sink "))
                iv = c["ival"]
                print(f"    {(c['t'] - m) / 1e9:+9.3f} {fmt(iv and iv / RATE * 1000, '12.3f'):>12} "
                      f"{fmt(iv, '10.1f'):>10}{'~' if c['cross'] else ' '}"
                      f"{fmt(iv and iv - ideal, '+9.1f'):>9} {c['peak']:6.3f} "
                      f"{fmt(c['pic'], '+12.2f'):>12}  {' '.join(notes)}")
            if after:
                print(f"    first click {(after[0]['t'] - m) / 1e6:+.1f} ms after the step")
            gaps = [(a, b) for r in inst["recs"] for a, b in r.gaps if m <= a < nxt]
            if gaps:
                print(f"    the native recording lacks {sum(b - a for a, b in gaps) / 1e6:.2f} ms of "
                      f"the sink's output in {len(gaps)} place(s), first {(gaps[0][0] - m) / 1e6:+.1f}"
                      " ms after the step (not given to the recorder, or dropped by the server)")
            beats, disturbed = settle(upto, ideal)
            pics = [c["pic"] for c in after if c["pic"] is not None]
            sh = shift(before, upto, period_ns)
            print(f"    settled at beat {fmt(beats, 'd', 'never')} of {len(upto)} after the step; "
                  f"{disturbed} interval(s) not exact; picture-click in 5 s: "
                  + (f"{min(pics):+.2f} .. {max(pics):+.2f} ms (median {statistics.median(pics):+.2f})"
                     if pics else "none")
                  + f"; {len(after) - len(pics)} click(s) without a picture; off the old grid by "
                  f"{fmt(sh, '+.2f')} ms at the end")
            res["steps"].append((beats, disturbed, pics, sh))
        after_all = [c for c in clicks if c["t"] >= (marks[0][0] if marks else 0)]
        start = [c for c in clicks if c not in after_all]
        devs = [abs(c["ival"] - ideal) for c in after_all if c["ival"] is not None]
        res["worst"] = max(devs) if devs else None
        near = [abs(c["ival"] - ideal) for c in after_all
                if c["ival"] is not None and 0.5 * ideal <= c["ival"] < 1.5 * ideal]
        res["worst_near"] = max(near) if near else None  # leaving out gaps and doubles
        # Silence from the last click to the end of the recording counts as missing clicks too.
        tail = (inst["end"] - clicks[-1]["t"]) / period_ns if clicks and inst["end"] else 0
        tail_missing = int(tail - 0.5) if tail >= 1.5 else 0
        if tail_missing:
            print(f"  MISSING {tail_missing}: no click in the last {tail * period_ns / 1e9:.2f} s "
                  "of the recording")
        for key, part in (("before", start), ("after", after_all)):
            d = sum(1 for c in part if c["ival"] is not None and c["ival"] < 0.5 * ideal)
            cl = sum(1 for c in part if c["clipped"])
            mi = sum(missing(c, ideal) for c in part)
            res[key] = (d, cl, mi + (tail_missing if key == "after" else 0))
        print(f"  doubled / clipped / missing: before the event {res['before']}, from the event "
              f"on {res['after']}; worst interval error from the event on "
              f"{fmt(res['worst'], '.1f')} frames ({fmt(res['worst'] and res['worst'] / RATE * 1000, '.2f')} ms), "
              f"leaving out gaps and doubles {fmt(res['worst_near'], '.1f')} frames")
        lines = inst["lines"]
        drops = [t for t, text in lines if "silenzio al posto" in text]
        res["drops"] = len(drops)
        print(f"  program's lines ({len(lines)}, dropout lines {len(drops)}):")
        for t, text in lines:
            print(f"    {(t - first) / 1e9:+8.2f} s  {text}")
        result["inst"].append(res)
    for label, rows in pwtop(folder):
        print(f"  pw-top {label}: {'; '.join(rows) or 'no Cadrel stream'}")
    result["pwtop"] = [rows for _, rows in pwtop(folder)]
    return result


def soak_report(folder, name):
    meta = load_run(folder)
    inst = meta["instances"][0]
    ideal = 60 * RATE / inst["tempo"]
    clicks = inst["clicks"]
    intervals(clicks, ideal)
    pair_pictures(clicks, inst["pictures"], ideal * NS)
    ivals = [c["ival"] for c in clicks if c["ival"] is not None]
    print(f"\n=== {name}: soak on {meta.get('server', '?').split()[0]}, {inst['tempo']:g} bpm, "
          f"{meta['marks'][0][1] if meta['marks'] else ''}; load average {meta.get('loadavg_start')} "
          f".. {meta.get('loadavg_end')}")
    if not ivals:
        print("  no intervals")
        return None
    hist = {}
    for v in ivals:
        k = 0 if abs(v - ideal) <= EXACT else round(v - ideal)
        hist[k] = hist.get(k, 0) + 1
    print(f"  clicks heard {len(clicks)}, light changes {len(inst['pictures'])}, intervals "
          f"{len(ivals)}: largest {max(ivals):.1f} frames ({max(ivals) / 48:.3f} ms), smallest "
          f"{min(ivals):.1f} ({min(ivals) / 48:.3f} ms); exact {hist.get(0, 0)}")
    print("  dev:count " + " ".join(f"{k:+d}:{v}" for k, v in sorted(hist.items())))
    span = (clicks[-1]["t"] - clicks[0]["t"]) / NS
    beats = sum(round(v / ideal) for v in ivals)  # a gap's beats counted, a double's none
    unrec = sum(c.get("unrecorded", 0) for c in clicks)
    print(f"  first to last click {span:.0f} frames against {ideal * beats:.0f} ideal for "
          f"{beats} beats ({(span - ideal * beats) / 48:+.2f} ms); doubled "
          f"{sum(v < 0.5 * ideal for v in ivals)}, clipped {sum(c['clipped'] for c in clicks)}, "
          f"missing {sum(missing(c, ideal) for c in clicks)}, and {unrec} due where the recorder "
          "missed cycles")
    rec = inst["recs"][0]
    if rec.graph:
        print(f"  the recorder missed {rec.behind():+.1f} ms of the sink's output over the run "
              "(cycles it was not given); every click is on the graph's clock, chunk by chunk")
    else:
        print(f"  the recording fell behind the clock by {rec.behind():+.1f} ms over the run (frames "
              f"lost by the recorder or not played by the sink; recorder overflows "
              f"{inst['overflows']}): below, each click is also put on the clock by the arrival "
              "of the frames around it")
        for c in clicks:  # the clock by arrival: follows lost frames, to a few ms under load
            c["t"] += rec.floor(c["frame"]) - rec.floor(rec.frames[0] + 10 * RATE, 10)
        pair_pictures(clicks, inst["pictures"], ideal * NS)
    t0, t1 = clicks[0]["t"], clicks[-1]["t"]
    for label, part in (("first 30 s", [c for c in clicks if c["t"] < t0 + 30e9]),
                        ("last 30 s", [c for c in clicks if c["t"] > t1 - 30e9])):
        pics = [c["pic"] for c in part if c["pic"] is not None]
        if pics:
            print(f"  picture-click {label}: median {statistics.median(pics):+.2f} ms, "
                  f"{min(pics):+.2f} .. {max(pics):+.2f}, {len(part) - len(pics)} without picture")
    lines = inst["lines"]
    print(f"  program's lines {len(lines)}, dropout lines "
          f"{sum('silenzio al posto' in t for _, t in lines)}")
    for t, text in lines[:20]:
        print(f"    {(t - (inst['press'] or t)) / 1e9:+8.2f} s after the press  {text}")
    for label, rows in pwtop(folder):
        print(f"  pw-top {label}: {'; '.join(rows) or 'no Cadrel stream'}")
    return None


def main():
    folder = sys.argv[1]
    bench = os.path.join(folder, "bench.txt")
    if os.path.exists(bench):
        print(open(bench, encoding="utf-8").read().rstrip())
    results = []
    key = lambda p: [int(t) if t.isdigit() else t for t in re.split(r"(\d+)", p)]
    for run in sorted(glob.glob(os.path.join(folder, "*", "meta.txt")), key=key):
        d = os.path.dirname(run)
        name = os.path.basename(d)
        if name.startswith("soak"):
            soak_report(d, name)
        else:
            results.append(run_report(d, name))
    from summary import summary
    summary(results)


if __name__ == "__main__":
    main()
