"""Prints the program bench's table from the "key value" files the driver and the onset tool
wrote: report.py PROGRAM_FILE RUN_FILE... (each run file holds one tempo's figures)."""

import sys


def load(path):
    values, rss = {}, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == "rss_kb":
                rss.append((float(parts[1]), int(parts[2])))
            elif len(parts) >= 2:
                values[parts[0]] = parts[1]
    values["_rss"] = rss
    return values


def num(run, key):
    try:
        return float(run[key])
    except (KeyError, ValueError):
        return float("nan")


def rss_growth(run):
    """RSS growth from one minute into the beating to the end of the run, in kB, and per
    minute; the first minute holds one-time growth (fonts, the audio stream, caches)."""
    rss = run["_rss"]
    idle = num(run, "phase.idle.wall_s")
    settled = [s for s in rss if s[0] >= idle + 60]
    if len(settled) < 2:
        settled = rss[len(rss) // 2:]
    if len(settled) < 2:
        return float("nan"), float("nan")
    (t0, r0), (t1, r1) = settled[0], settled[-1]
    if t1 <= t0:
        return r1 - r0, float("nan")
    return r1 - r0, (r1 - r0) / ((t1 - t0) / 60.0)


def main():
    program = load(sys.argv[1])
    runs = [(name, load(name + ".txt")) for name in sys.argv[2:]]
    heads = [f"{r['bpm']} bpm" + (" soak" if name == "soak" else "") for name, r in runs]
    width = 14
    print(f"{'':40}" + "".join(f"{h:>{width}}" for h in heads) + "   target")
    rows = []

    def row(label, values, fmt, target="", ok=None):
        cells = "".join(f"{fmt.format(v):>{width}}" for v in values)
        verdict = "" if ok is None else ("  ok" if all(ok(v) for v in values) else "  MISSED")
        rows.append(f"{label:40}{cells}   {target}{verdict}")

    def figure(key, label, fmt, target="", ok=None):
        row(label, [num(r, key) for _, r in runs], fmt, target, ok)

    figure("launch_to_shown_ms", "window shown after launch (ms)", "{:.1f}", "<= 500",
           lambda v: v <= 500)
    figure("phase.idle.cpu_pct", "CPU before first start (% of a core)", "{:.3f}", "<= 0.5",
           lambda v: v <= 0.5)
    figure("phase.running.cpu_pct", "CPU while running (%)", "{:.3f}", "<= 2.5",
           lambda v: v <= 2.5)
    figure("phase.after.cpu_pct", "CPU after stopping (%)", "{:.3f}", "<= 2",
           lambda v: v <= 2)
    row("peak resident memory VmHWM (MB)", [num(r, "vmhwm_kb") / 1024 for _, r in runs],
        "{:.1f}", "<= 60", lambda v: v <= 60)
    row("RSS at the end (MB)", [r["_rss"][-1][1] / 1024 for _, r in runs], "{:.1f}")
    growth = [rss_growth(r) for _, r in runs]
    row("RSS growth after 1st running min (kB)", [g[0] for g in growth], "{:.0f}", "flat")
    row("  per minute (kB/min)", [g[1] for g in growth], "{:.1f}", "~0")
    figure("rec.onsets", "onsets in the recording", "{:.0f}")
    figure("count_final", "beats counted (Label1)", "{:.0f}", "= onsets")
    figure("sound.clicks_started", "clicks started by the facility", "{:.0f}")
    figure("rec.ideal_ms", "ideal interval 60000/bpm (ms)", "{:.6f}")
    # The beat is counted in the stream's frames at the nominal 48000 Hz: the intervals are
    # whole frames of the sink, whatever its clock does against the system's.
    figure("rec.mean_interval_ms", "mean interval (ms at 48000 Hz)", "{:.6f}")
    figure("rec.mean_deviation_ms", "mean - ideal (ms at 48000 Hz)", "{:+.6f}", "|x| <= 0.002",
           lambda v: abs(v) <= 0.002)
    figure("rec.spread_ms", "spread max-min (ms)", "{:.4f}", "<= 0.05", lambda v: v <= 0.05)
    figure("rec.std_dev_ms", "std dev (ms)", "{:.4f}", "<= 0.02", lambda v: v <= 0.02)
    figure("rec.worst_deviation_ms", "worst |interval - ideal| (ms)", "{:.4f}")
    figure("rec.drift_ms", "drift of last beat (ms at 48000 Hz)", "{:+.4f}")
    figure("sound.missed", "beats asked for too late to play", "{:.0f}", "0")
    figure("sound.dropouts", "server dropouts", "{:.0f}", "0")
    figure("sound.realtime", "audio thread real-time (1 = yes)", "{:.0f}")
    print("\n".join(rows))
    print()
    print(f"program binary idle, from outside: CPU {num(program, 'ext.idle_cpu_pct'):.3f}% "
          f"(target <= 0.5), RSS {num(program, 'ext.vmrss_kb') / 1024:.1f} MB, "
          f"peak {num(program, 'ext.vmhwm_kb') / 1024:.1f} MB")
    for name, run in runs:
        for phase in ("idle", "running", "after"):
            prefix = f"thread.{phase}."
            threads = sorted(((num(run, k), k[len(prefix):-4]) for k in run
                              if k.startswith(prefix)), reverse=True)
            listed = ", ".join(f"{t.split(':', 1)[1]} {v:.2f}%" for v, t in threads[:4])
            print(f"{name} {phase:8} threads: {listed or '-'}")
    for name, run in runs:
        with open(name + ".txt", encoding="utf-8") as f:
            outliers = [line.split(None, 1)[1].strip() for line in f
                        if line.startswith("rec.outlier.")]
        print(f"{name} intervals off the ideal by > 0.05 ms: {run.get('rec.outliers', '?')}"
              + (" (worst: " + "; ".join(outliers[:4]) + ")" if outliers else ""))
    soak = dict(runs).get("soak")
    if soak:
        samples = " ".join(f"{kb / 1024:.1f}" for _, kb in soak["_rss"])
        print(f"soak RSS every 10 s (MB): {samples}")


if __name__ == "__main__":
    main()
