#!/usr/bin/env python3
"""Sets two outside runs side by side as markdown tables, each cell checked against its budget.

  bench/budget-table.py BEFORE.json AFTER.json [PAGES-BEFORE.json PAGES-AFTER.json]
                        [--first-paint FP-BEFORE.json FP-AFTER.json]

The files are what `bench/note-budget-under-x.py --json` and `bench/pages-under-x.py --json` write; with
--first-paint, the first paints and opens are taken from runs of `note-budget-under-x.py --first-paint`. A cell
is "before → after", each "median (max)" of the runs, in ms of CPU of the window's thread (MB for memory);
a figure over its budget is marked: ✗ when the median is over, ! when only the maximum is. Runs kept in
several files of one build are taken together when named as A.json+B.json.
"""
import json, statistics, sys

STEP_MS, FIRST_MS, PAGE_MS = 16.0, 33.0, 33.0
STEPS = ("1st", "open", "scroll", "Ctrl+End", "find", "step", "Edit", "type", "format", "paste", "Ctrl+A",
         "Ctrl+C", "copy read", "Delete all", "undo", "redo", "paste 5MB", "undo 5MB", "Save")
MEMS = (("mem open", "RSS at open"), ("mem peak", "RSS peak"), ("mem saved", "RSS after Save"),
        ("mem after", "RSS after another note"))
NAMES = {"1st": "first paint (click → first pixels)", "copy read": "copy read by another program",
         "Delete all": "select-all + Delete", "undo": "its undo", "redo": "its redo",
         "paste 5MB": "paste 5 MB", "undo 5MB": "undo of the 5 MB paste", "paste": "paste 1 KB rich"}


def med(v):
    return statistics.median(v)


def fig(v, budget, unit=""):
    if not v: return "–"
    m, x = med(v), max(v)
    mark = " ✗" if budget is not None and m > budget else (" !" if budget is not None and x > budget else "")
    return f"{m:.0f}{unit} ({x:.0f}){mark}" if m >= 100 else f"{m:.1f} ({x:.1f}){mark}"


def mem_budget(name, what):
    if what == "mem after": return 20.0 if "MB" in name and name not in ("1 MB",) else None
    if name == "20 MB": return 150.0
    if name.startswith("50 MB"): return 350.0
    return None


def notes(before, after):
    names = [n for n in after["names"] if n in before["names"]]
    out = [f"Steps: CPU ms of the window's thread in the longest stretch of the step, median (max) of the runs; "
           f"before ({before['label']}) → after ({after['label']}). Budget {STEP_MS:.0f} ms a step, "
           f"{FIRST_MS:.0f} ms the first paint. ✗ median over budget, ! only the max over.", "",
           "| step | " + " | ".join(names) + " |", "|---" * (len(names) + 1) + "|"]
    for s in STEPS:
        budget = FIRST_MS if s == "1st" else STEP_MS
        cells = []
        for n in names:
            b, a = before["steps"].get(f"{n}|{s}", []), after["steps"].get(f"{n}|{s}", [])
            cells.append(f"{fig(b, budget)} → {fig(a, budget)}")
        out.append(f"| {NAMES.get(s, s)} | " + " | ".join(cells) + " |")
    for key, label in MEMS:
        cells = []
        for n in names:
            b = [r[key] for r in before["mem"].get(n, [])]
            a = [r[key] for r in after["mem"].get(n, [])]
            budget = mem_budget(n, key)
            cells.append(f"{fig(b, budget)} → {fig(a, budget)}")
        out.append(f"| {label}, MB | " + " | ".join(cells) + " |")
    cells = []
    for n in names:
        b = [r["mem open"] for r in before["mem"].get(n, [])[:1]]
        a = [r["mem open"] for r in after["mem"].get(n, [])[:1]]
        budget = mem_budget(n, "mem open")
        cells.append(f"{fig(b, budget)} → {fig(a, budget)}")
    out.append("| RSS at the first open after a start, MB | " + " | ".join(cells) + " |")
    out.append("")
    out.append("Memory: MB of resident memory over what the app held with a short note shown (20 MB note ≤ 150, "
               "50 MB ≤ 350, peaks included; after another note is shown, back within 20 MB).")
    return out


def pages(before, after):
    ids = []
    for k in list(before["pages"]) + list(after["pages"]):
        p = k.split("|")[0]
        if p not in ids: ids.append(p)
    out = [f"Each page's first show with five years of data: CPU ms of the window's thread, median (max); "
           f"before ({before['label']}) → after ({after['label']}). Budget {PAGE_MS:.0f} ms.", "",
           "| page | longest stretch | first paint |", "|---|---|---|"]
    for p in ids:
        cells = [f"{fig(before['pages'].get(f'{p}|{w}', []), PAGE_MS)} → {fig(after['pages'].get(f'{p}|{w}', []), PAGE_MS)}"
                 for w in ("longest", "1st")]
        out.append(f"| {p} | " + " | ".join(cells) + " |")
    return out


def main(argv):
    def load(paths):
        runs = [json.load(open(p)) for p in paths.split("+")]
        out = runs[0]
        for more in runs[1:]:
            for part in ("steps", "mem", "pages"):
                for k, v in more.get(part, {}).items():
                    out.setdefault(part, {}).setdefault(k, [])
                    out[part][k] = out[part][k] + v
        return out

    fp = None
    if "--first-paint" in argv:
        i = argv.index("--first-paint")
        fp = (load(argv[i + 1]), load(argv[i + 2]))
        argv = argv[:i] + argv[i + 3:]
    if len(argv) not in (3, 5):
        print(__doc__)
        return 2
    before, after = load(argv[1]), load(argv[2])
    if fp:
        for run, paints in zip((before, after), fp):
            for k, v in paints["steps"].items():
                if k.split("|")[1] in ("1st", "1st wall"): run["steps"][k] = v
                elif k.split("|")[1] == "open": run["steps"][k] = run["steps"].get(k, []) + v
    lines = notes(before, after)
    if len(argv) == 5:
        lines += [""] + pages(load(argv[3]), load(argv[4]))
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
