#!/usr/bin/env python3
"""Every page's first show with five years of data, in the real app under a private X server, from outside.

  bench/pages-under-x.py [--binary build/mivo] [--scale build/bench/bench_scale] [--runs 3] [--json FILE]

Writes bench_scale's five-year profile (20 000 tasks, 10 000 finance entries, 500 notes, 100 000
exercise-history records: `bench_scale --profile PATH --with-actions`), then, runs times, starts the app on a
copy of it under ../shared/tools/window-stalls in Xvfb with jwm (a tray host, so the app starts in the tray),
shows its window by starting it a second time (the first show of the window and of its start page, the task
board), and clicks each other page in
the sidebar once (the pointer already over it). For each page: the CPU of the window's thread in its longest
stretch between two waits of the event loop, and until its first paint (from the first wake after the click
until the thread first puts pixels on screen: bench/paintprobe.py).
"""
import argparse, json, os, shutil, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
nb = __import__("note-budget-under-x")
import paintprobe
import xdisplay

# The sidebar's entries at scale 1.0 (English, 1200 x 760), top to bottom.
SIDEBAR = [("pomodoro", (80, 131)), ("exercises", (80, 167)), ("alarms", (80, 203)), ("notes", (80, 239)),
           ("tasks", (80, 307)), ("calendar", (80, 343)), ("finances", (80, 379)), ("statistics", (80, 447)),
           ("settings", (80, 483)), ("support", (80, 519))]
# The page in place at launch (the task board): the window's first show builds and paints it, and a click
# on its entry later shows nothing new, so it is measured at the window's first show and not clicked.
START = "tasks"
PAGES = [(START, None)] + [entry for entry in SIDEBAR if entry[0] != START]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--scale", default="build/bench/bench_scale")
    ap.add_argument("--profile", default="", help="a database written by `bench_scale --profile PATH --with-actions`")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--json", default="")
    ap.add_argument("--label", default="")
    ap.add_argument("--shots", default="")
    a = ap.parse_args()
    root = tempfile.mkdtemp(prefix="mivo-pages-")
    profile = a.profile or f"{root}/profile.sqlite3"
    if not a.profile:
        subprocess.run([a.scale, "--profile", profile, "--with-actions"], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    procs, results = [], {}
    xenv = dict(os.environ)
    xenv.pop("QT_QPA_PLATFORM", None)
    try:
        xdisplay.start_x(procs, xenv)
        for run in range(a.runs):
            one_run(a, run, root, profile, xenv, results)
        med = lambda v: sorted(v)[len(v) // 2]
        print(f"Pages' first show with five years of data ({a.label or a.binary}), CPU of the window's thread, ms, "
              f"median/max of {a.runs} runs: longest stretch; until the first paint")
        print("| page | longest | first paint |")
        print("|---|---|---|")
        for page, _ in PAGES:
            lo, fi = results.get((page, "longest"), []), results.get((page, "1st"), [])
            if lo:
                print(f"| {page} | {med(lo):.1f}/{max(lo):.1f} | {med(fi):.1f}/{max(fi):.1f} |")
        if a.json:
            with open(a.json, "w") as f:
                json.dump({"label": a.label or a.binary, "pages": {f"{k[0]}|{k[1]}": v for k, v in results.items()}},
                          f, indent=1)
    finally:
        xdisplay.end(procs)
        shutil.rmtree(root, ignore_errors=True)


def one_run(a, run, root, profile, xenv, results):
    home = f"{root}/home-{run}"
    env = nb.app_home(xenv, home, profile)
    log = f"{home}/stalls.log"
    paints = env["PAINT_PROBE_LOG"] = f"{home}/paints.log"
    tool = subprocess.Popen(["python3", nb.STALLS, "--min-ms", "1", "--log", log, "--", *paintprobe.wrap([a.binary])],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pid = 0
    try:
        want = os.path.realpath(a.binary)
        t_end = time.monotonic() + 60
        while not pid and time.monotonic() < t_end:
            time.sleep(0.5)
            pid = nb.app_pid(tool.pid, want)
        if not pid: sys.exit("the app did not start")
        nb.settle(pid, limit=90.0)
        win = nb.xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        shown_at_launch = bool(win)
        t0 = nb.now_ms()
        if not win:
            # In the tray: a second start shows the window of the first, which builds its start page.
            subprocess.run([a.binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            time.sleep(1.0)
            nb.settle(pid, limit=60.0)
            win = nb.xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win: sys.exit("the main window did not appear")
        marks = [(PAGES[0][0] + (" (at launch)" if shown_at_launch else ""), t0)]
        for page, (x, y) in PAGES[1:]:
            subprocess.run(["xdotool", "mousemove", "--window", win, str(x), str(y)], env=env)
            time.sleep(0.5)
            nb.settle(pid, limit=10.0)
            t = nb.now_ms()
            subprocess.run(["xdotool", "click", "1"], env=env)
            time.sleep(1.0)
            nb.settle(pid, limit=60.0)
            if a.shots and run == 0:
                os.makedirs(a.shots, exist_ok=True)
                subprocess.run(["import", "-window", win, f"{a.shots}/page-{page}.png"], env=env)
            marks.append((page, t))
        marks.append(("end", nb.now_ms()))
        line = []
        for (page, t0), (_, t1) in zip(marks, marks[1:]):
            page = page.split(" ")[0]
            cpu, wall = nb.longest(log, t0, t1)
            results.setdefault((page, "longest"), []).append(cpu)
            results.setdefault((page, "1st"), []).append(paintprobe.first_paint(paints, t0, t1)[0])
            line.append(f"{page} {cpu:.1f}")
        print(f"  run {run + 1}{' (window shown at launch)' if shown_at_launch else ''}: " + ", ".join(line),
              file=sys.stderr, flush=True)
    finally:
        xdisplay.end_app(pid, tool)


if __name__ == "__main__":
    main()
