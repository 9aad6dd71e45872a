"""The events bench's summary table (used by report.py): one row per event, server and
instance, over its runs.

worst err: the interval furthest from the ideal from the event on, largest over the runs;
near: the same leaving out gaps (missing clicks) and doubles.
dbl/clip/miss: doubled, clipped and missing clicks from the event on, summed over the runs.
not exact: intervals off the ideal by more than a frame after each step, per run (steps
separated by /). settled: the beat after each step from which 8 beats in a row are exactly
spaced and their pictures within 5 ms of their clicks (1: the first click after the step;
never: not before the next step). pic-click: the range of picture minus click in the 5 s after the steps. off grid:
how far the clicks sit off the grid they had before the step, at the end of it (ms; a sink
change or a restart may move the grid, only the spacing and the picture are the target).
drops: the program's dropout lines. ERR: pw-top's error count of the program's stream at the
end."""

ORDER = ["calm", "move", "default", "suspend", "quantum", "rate", "kill", "noserver", "two"]


def fmt(v, spec, none="-"):
    return none if v is None else format(v, spec)


def summary(results):
    rows = {}
    for r in results:
        for inst in r["inst"]:
            label = r["event"] + ("" if inst["name"] == "A" else f" ({inst['name']} {inst['tempo']:g})")
            rows.setdefault((label, r["server"]), []).append((r, inst))
    cols = ("event", "server", "runs", "load", "worst err ms (fr)", "near ms", "dbl/clip/miss",
            "not exact", "settled", "pic-click ms", "off grid ms", "drops", "ERR")
    table = []
    for (label, server), runs in sorted(
            rows.items(), key=lambda kv: (ORDER.index(kv[0][0].split()[0])
                                         if kv[0][0].split()[0] in ORDER else 99, kv[0][1] != "pulseaudio",
                                         kv[0][0])):
        worst = [i["worst"] for _, i in runs if i["worst"] is not None]
        w = max(worst) if worst else None
        near = [i["worst_near"] for _, i in runs if i["worst_near"] is not None]
        counts = [sum(i["after"][k] for _, i in runs) for k in range(3)]
        not_exact = " ".join("/".join(str(s[1]) for s in i["steps"]) for _, i in runs)
        settled = " ".join("/".join(fmt(s[0], "d", "never") for s in i["steps"]) for _, i in runs)
        pics = [p for _, i in runs for s in i["steps"] for p in s[2]]
        shifts = [s[3] for _, i in runs for s in i["steps"][-1:] if s[3] is not None]
        errs = []
        for r, _ in runs:
            last = r["pwtop"][-1] if r["pwtop"] else []
            errs.append(",".join(x.split("ERR ")[-1] for x in last if x.startswith("Cadrel")) or "-")
        table.append((label, server, str(len(runs)), " ".join(r["load"] for r, _ in runs),
                      f"{fmt(w and w / 48, '.2f')} ({fmt(w, '.0f')})",
                      fmt(max(near) / 48 if near else None, ".2f"), "/".join(map(str, counts)),
                      not_exact, settled,
                      f"{min(pics):+.1f}..{max(pics):+.1f}" if pics else "-",
                      " ".join(f"{s:+.1f}" for s in shifts) or "-",
                      " ".join(str(i["drops"]) for _, i in runs),
                      " ".join(errs) if server == "pipewire" else "-"))
    print("\nsummary (" + __doc__.split("\n\n", 1)[1].replace("\n", " ").strip() + ")\n")
    widths = [max(len(c), *(len(t[k]) for t in table)) if table else len(c) for k, c in enumerate(cols)]
    print("| " + " | ".join(c.ljust(w) for c, w in zip(cols, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for t in table:
        print("| " + " | ".join(c.ljust(w) for c, w in zip(t, widths)) + " |")
