#!/usr/bin/env python3
"""A long note's copy taken by other programs in every way they take it, measured from outside.

  bench/copy-forms-under-x.py [--binary build/mivo] [--bench build/bench/bench_notes]
                              [--drop-target build/bench/drop_target] [--note "20 MB"] [--json FILE]

Runs the app as bench/note-budget-under-x.py does (its seeded notes, under ../shared/tools/window-stalls in
Xvfb), opens the note in its editor and: Ctrl+A, Ctrl+C; the copy read by another program as UTF8_STRING,
as STRING and as TEXT (xclip), the primary selection as STRING; a key typed elsewhere in the note while
the copy stands on it (and taken back), a moment after the copy and at once; Ctrl+A, Ctrl+C and Delete (and undone); the selection dragged to
another program's window that takes text (drop_target). For each step: the CPU of the window's thread in
its longest stretch (by CPU) and that stretch's wall time, and the longest stretch's wall time (a wait for a
worker is long in wall time and short in CPU).
"""
import argparse, importlib.util, json, os, shutil, sqlite3, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
spec = importlib.util.spec_from_file_location("budget", os.path.join(HERE, "note-budget-under-x.py"))
budget = importlib.util.module_from_spec(spec)
spec.loader.exec_module(budget)
import paintprobe
import xdisplay


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--bench", default="build/bench/bench_notes")
    ap.add_argument("--drop-target", default="build/bench/drop_target")
    ap.add_argument("--note", default="20 MB")
    ap.add_argument("--json", default="")
    ap.add_argument("--perf", default="", help="a step recorded by perf (perf.data in the working folder)")
    a = ap.parse_args()
    root = tempfile.mkdtemp(prefix="mivo-copyforms-")
    os.makedirs(f"{root}/tmp")
    doc = f"{root}/notes.bin"
    subprocess.run([a.bench, "budget-document", doc], check=True,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen", TMPDIR=f"{root}/tmp"), stderr=subprocess.DEVNULL)
    seeded = f"{root}/mivo.sqlite3"
    c = sqlite3.connect(seeded)
    c.execute("CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)")
    c.execute("INSERT OR REPLACE INTO prefs(key, type, value) VALUES('savedNotes', 'data', ?)", (open(doc, "rb").read(),))
    c.commit(); c.close()
    procs, results = [], {}
    xenv = dict(os.environ)
    xenv.pop("QT_QPA_PLATFORM", None)
    try:
        xdisplay.start_x(procs, xenv)
        run(a, root, seeded, xenv, results)
    finally:
        xdisplay.end(procs)
        shutil.rmtree(root, ignore_errors=True)
    for k, v in results.items():
        print(f"{k:28s} {v}")
    if a.json:
        with open(a.json, "w") as f: json.dump({"binary": os.path.realpath(a.binary), "steps": results}, f, indent=1)


def run(a, root, seeded, xenv, results):
    home = f"{root}/home"
    env = budget.app_home(xenv, home, seeded)
    log = f"{home}/stalls.log"
    tool = subprocess.Popen(["python3", budget.STALLS, "--min-ms", "1", "--log", log, "--", a.binary],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    drop = subprocess.Popen([a.drop_target], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    pid = 0
    try:
        want = os.path.realpath(a.binary)
        t_end = time.monotonic() + 60
        while not pid and time.monotonic() < t_end:
            time.sleep(0.5)
            pid = budget.app_pid(tool.pid, want)
        if not pid: sys.exit("the app did not start")
        budget.settle(pid, limit=60.0)
        xdo = lambda *k: budget.xdo(env, *k)
        win = xdo("search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win:  # started to the tray: started again, it shows its window
            subprocess.run([a.binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
            time.sleep(1.5)
            win = xdo("search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win: sys.exit("the main window did not appear")

        def wait(minimum=0.6, limit=300.0):
            time.sleep(minimum)
            budget.settle(pid, limit=limit)

        def at(x, y, *more):
            subprocess.run(["xdotool", "mousemove", "--window", win, str(x), str(y), *more], env=env)

        def keys(*k):
            subprocess.run(["xdotool", "key", "--window", win, *k], env=env)

        geo = dict(l.split("=", 1) for l in xdo("getwindowgeometry", "--shell", win).split("\n") if "=" in l)
        # The other program's window beside this one's, on top.
        beside = (int(geo["X"]) + int(geo["WIDTH"]) + 20, int(geo["Y"]) + 100)
        target = xdo("search", "--name", "^Drop here$").split("\n")[0]
        if target:
            xdo("windowmove", target, str(beside[0]), str(beside[1]))
            xdo("windowraise", target)
        time.sleep(0.5)
        steps = []

        def step(what, act, minimum=0.6):
            rec = None
            if a.perf == what:
                rec = subprocess.Popen(["perf", "record", "-g", "-t", str(pid), "-o", "perf.data"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(1.0)
            t0 = budget.now_ms()
            out = act()
            wait(minimum)
            if rec:
                rec.send_signal(2)
                rec.wait()
            t1 = budget.now_ms()
            cpu, wall = budget.longest(log, t0, t1)
            # A wait on a worker shows as a stretch long in wall time and short in CPU.
            most_wall = max([w for start, w, _ in budget.read_log(log) if t0 <= start < t1], default=0.0)
            results[what] = {"cpu ms": round(cpu, 1), "wall ms": round(wall, 1), "longest wall ms": round(most_wall, 1)}
            if out is not None: results[what]["got"] = out
            long_ones = budget.stretches(log, t0, budget.now_ms(), 10.0)
            if long_ones: results[what]["stretches of 10 ms and more (CPU/wall@start)"] = " ".join(long_ones)
            print(f"  {what}: {results[what]}", file=sys.stderr, flush=True)

        rows = {n: (budget.LIST_X, budget.LIST_Y0 + i * budget.LIST_DY) for i, n in enumerate(budget.ROWS)}
        at(*budget.NOTES_SIDEBAR, "click", "1"); wait(2.0)
        at(*rows[a.note], "click", "1"); wait(2.0, 120.0)
        at(*budget.EDIT_BUTTON, "click", "1"); wait(1.5, 120.0)
        at(*budget.BODY_TEXT, "click", "1"); wait()
        step("Ctrl+A", lambda: keys("ctrl+a"))
        step("Ctrl+C", lambda: keys("ctrl+c"))

        def xclip(selection, target):
            try:
                return len(subprocess.run(["xclip", "-o", "-selection", selection, "-t", target], env=env,
                                          capture_output=True, timeout=300).stdout)
            except subprocess.TimeoutExpired:
                return -1
        try:
            results["targets offered"] = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"],
                                                        env=env, capture_output=True, text=True,
                                                        timeout=30).stdout.split()
        except subprocess.TimeoutExpired:
            pass
        for target in ("UTF8_STRING", "STRING", "TEXT"):
            step(f"read {target}", lambda: xclip("clipboard", target), 0.3)
        step("read PRIMARY STRING", lambda: xclip("primary", "STRING"), 0.3)
        # A key typed where the copy stands (the selection let go of first), and taken back.
        at(*budget.BODY_TEXT, "click", "1"); wait()
        step("type after copy", lambda: keys("x"))
        keys("BackSpace"); wait()
        # Copied and a key typed at the end at once: the copy is not packed yet.
        keys("ctrl+a"); wait()
        step("type at once after copy", lambda: subprocess.run(
            ["xdotool", "key", "--window", win, "ctrl+c", "mousemove", "--window", win, str(budget.BODY_TEXT[0]),
             str(budget.BODY_TEXT[1]), "click", "1", "key", "--window", win, "x"], env=env) and None)
        keys("BackSpace"); wait()
        keys("ctrl+a"); wait()
        keys("ctrl+c"); wait()
        step("Delete after copy", lambda: keys("Delete"))
        keys("ctrl+z"); wait()
        # The whole text dragged to the other program's window.
        keys("ctrl+a"); wait()

        def drag():
            x, y = budget.BODY_TEXT
            at(x, y, "mousedown", "1"); time.sleep(0.3)
            at(x + 30, y + 10); time.sleep(0.3)
            for dx, dy in ((20, 100), (60, 150), (100, 200)):
                subprocess.run(["xdotool", "mousemove", str(beside[0] + dx), str(beside[1] + dy)], env=env)
                time.sleep(0.5)
            subprocess.run(["xdotool", "mouseup", "1"], env=env)
            return None
        step("drag to another program", drag, 2.0)
        time.sleep(1.0)
    finally:
        drop.terminate()
        try:
            out = drop.communicate(timeout=10)[0]
            results["drop target said"] = out.strip()
        except subprocess.TimeoutExpired:
            drop.kill()
        xdisplay.end_app(pid, tool)


if __name__ == "__main__":
    main()
