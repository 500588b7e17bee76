#!/usr/bin/env python3
"""Text notes used in the real app under a private X server, measured from outside.

  bench/note-budget-under-x.py [--binary build/mivo] [--bench build/bench/bench_notes] [--runs 3] [--shots DIR]

Seeds a fresh home's database with the notes bench_notes measures (`bench_notes budget-document`), runs
the app under ../shared/tools/window-stalls in Xvfb with jwm, and clicks and types with xdotool: open a
note from the list, scroll, Ctrl+End, find and step, Edit, type, format, paste about 1 KB of its own rich
lines, Save; on the 10 000 x 20 table: open, scroll, double-click a cell, type in its editor and Save it,
swap two cells by a right-button drag, find and step. For each step it prints the longest stretch of the window's
thread (from the stall log, between the step and the next), and the app's resident memory over what it held
with a short note shown: once the note is open, its peak up to just before Save (what the note costs while
open and edited) and up to the end of Save, and after a short note is shown again. "Before" and "after" are
read once the app has settled (no CPU used for a moment): a save still being written is no cost of the note.
"""
import argparse, os, shutil, sqlite3, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
# The stall tool beside the source tree (the main checkout's or a worktree's).
STALLS = next((p for p in (os.path.join(HERE, *[".."] * n, "shared", "tools", "window-stalls") for n in (2, 3))
               if os.path.isfile(p)), "window-stalls")
# Where a user clicks, in the window at scale 1.0 (English, 1200 x 760): the notes page in the sidebar,
# the list's rows (the seeded notes in their order) and the detail's buttons.
NOTES_SIDEBAR = (80, 239)
LIST_X, LIST_Y0, LIST_DY = 350, 130, 64
EDIT_BUTTON = (636, 168)
SAVE_BUTTON = (1123, 121)
BODY = (800, 450)          # over the detail's text
BODY_TEXT = (620, 326)  # on plain words of the text (a bullet line), not on a link
TABLE = "10 000 x 20 table"
TABLE_CARD = (LIST_X, 670)  # the tables follow the text notes under a heading of their own
# The table's cells on its first screen (one-line rows): a cell to edit, and two to swap.
TABLE_CELL = (760, 392)
TABLE_SWAP = ((760, 320), (860, 356))


def now_ms():
    return time.monotonic() * 1000


def xdo(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True).stdout.strip()


def status_mb(pid, field):
    try:
        for line in open(f"/proc/{pid}/status"):
            if line.startswith(field + ":"): return int(line.split()[1]) / 1024
    except OSError:
        pass
    return -1


def rss_mb(pid):
    return status_mb(pid, "VmRSS")


def reset_peak(pid):
    try:
        with open(f"/proc/{pid}/clear_refs", "w") as f: f.write("5")
    except OSError:
        pass


def peak_mb(pid):
    return status_mb(pid, "VmHWM")


def cpu_ticks(pid):
    try:
        f = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        return int(f[11]) + int(f[12])  # utime + stime, of every thread
    except (OSError, IndexError, ValueError):
        return -1


def settle(pid, quiet=1.5, limit=60.0):
    """Waits until the app has used no CPU for `quiet` seconds (at most `limit`): what it holds then is what
    it keeps, not what a worker (a save's writer, a document being freed) holds on its way."""
    t_end = time.monotonic() + limit
    last, since = cpu_ticks(pid), time.monotonic()
    while time.monotonic() < t_end:
        time.sleep(0.25)
        now = cpu_ticks(pid)
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return


def first(log, since, until):
    try:
        for line in open(log):
            p = line.split()
            if len(p) == 2 and since <= float(p[0]) < until: return float(p[1])
    except OSError:
        pass
    return 0.0


def longest(log, since, until):
    worst = 0.0
    try:
        for line in open(log):
            p = line.split()
            if len(p) == 2 and since <= float(p[0]) < until: worst = max(worst, float(p[1]))
    except OSError:
        pass
    return worst


def stretches(log, since, until, at_least):
    out = []
    try:
        for line in open(log):
            p = line.split()
            if len(p) == 2 and since <= float(p[0]) < until and float(p[1]) >= at_least:
                out.append(f"{float(p[1]):.1f}@{float(p[0]) - since:.0f}")
    except OSError:
        pass
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--bench", default="build/bench/bench_notes")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--shots", default="")
    ap.add_argument("--stretches", type=float, default=0.0,
                    help="also print, step by step, every stretch of at least this many ms (when after the step)")
    ap.add_argument("--notes", default="12 KB,20 MB",
                    help=f"list rows by name: 4 KB,12 KB,60 KB,1 MB,20 MB,50 MB,emoji line,{TABLE}")
    a = ap.parse_args()
    home = tempfile.mkdtemp(prefix="mivo-budget-")
    env = dict(os.environ, HOME=home, TMPDIR=f"{home}/tmp", XDG_DATA_HOME=f"{home}/data",
               XDG_CONFIG_HOME=f"{home}/config", XDG_CACHE_HOME=f"{home}/cache", XDG_RUNTIME_DIR=f"{home}/run")
    env.pop("QT_QPA_PLATFORM", None)
    for d in ("tmp", "data/mivo", "config", "cache"): os.makedirs(f"{home}/{d}")
    os.makedirs(f"{home}/run", mode=0o700)
    doc = f"{home}/notes.bin"
    subprocess.run([a.bench, "budget-document", doc], check=True, env=dict(env, QT_QPA_PLATFORM="offscreen"),
                   stderr=subprocess.DEVNULL)
    c = sqlite3.connect(f"{home}/data/mivo/mivo.sqlite3")
    c.execute("CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)")
    c.execute("INSERT OR REPLACE INTO prefs(key, type, value) VALUES('savedNotes', 'data', ?)", (open(doc, "rb").read(),))
    c.commit(); c.close()
    log = f"{home}/stalls.log"
    procs = []
    pid = 0
    try:
        # The server takes a free display itself and says which: runs started side by side (other
        # worktrees') never pick the same one.
        rfd, wfd = os.pipe()
        procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(wfd,)))
        os.close(wfd)
        with os.fdopen(rfd) as r:
            number = r.readline().strip()
        if not number: sys.exit("Xvfb did not start")
        env["DISPLAY"] = f":{number}"
        time.sleep(1.0)
        procs.append(subprocess.Popen(["jwm"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(1.0)
        tool = subprocess.Popen(["python3", STALLS, "--min-ms", "1", "--log", log, "--", a.binary], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(tool)
        # The tool builds its library first and the app starts slowly on a busy machine: wait for it.
        want = os.path.realpath(a.binary)
        t_end = time.monotonic() + 60
        while not pid and time.monotonic() < t_end:
            time.sleep(0.5)
            kids = open(f"/proc/{tool.pid}/task/{tool.pid}/children").read().split()
            pid = next((int(k) for k in kids if os.path.realpath(f"/proc/{k}/exe") == want), 0)
        if not pid: sys.exit("the app did not start")
        time.sleep(3.0)
        win = xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win:
            subprocess.run([a.binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
            time.sleep(1.5)
            win = xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win: sys.exit("the main window did not appear")

        def click(x, y, wait=1.5, n=1):
            t0 = now_ms()
            subprocess.run(["xdotool", "mousemove", "--window", win, str(x), str(y), "click", "--repeat", str(n), "1"],
                           env=env)
            time.sleep(wait)
            return t0

        def keys(*k, wait=1.0):
            t0 = now_ms()
            subprocess.run(["xdotool", "key", "--window", win, *k], env=env)
            time.sleep(wait)
            return t0

        def typed(text, wait=1.0):
            t0 = now_ms()
            subprocess.run(["xdotool", "type", "--delay", "60", text], env=env)
            time.sleep(wait)
            return t0

        def shot(name):
            if a.shots:
                os.makedirs(a.shots, exist_ok=True)
                subprocess.run(["import", "-window", win, f"{a.shots}/{name}.png"], env=env)

        click(*NOTES_SIDEBAR, wait=2.0)
        shot("notes")
        rows = {name: (LIST_X, LIST_Y0 + i * LIST_DY) for i, name in
                enumerate(["Small", "4 KB", "12 KB", "60 KB", "1 MB", "20 MB", "50 MB", "emoji line"])}
        rows[TABLE] = TABLE_CARD
        if os.environ.get("BUDGET_SHOT_ONLY"):
            click(*rows["Small"], wait=2.0)
            shot("small")
            click(*EDIT_BUTTON, wait=2.0)
            typed("Typed from outside ")
            shot("small-edit")
            return
        results = {}

        def record(name, steps, extra=()):
            for (what, t0), (_, t1) in zip(steps, steps[1:]):
                if what != "gap": results.setdefault((name, what), []).append(longest(log, t0, t1))
                if what == "open": results.setdefault((name, "1st"), []).append(first(log, t0, t1))
                if a.stretches and what != "gap":
                    print(f"{name} {what}: " + " ".join(stretches(log, t0, t1, a.stretches)), file=sys.stderr)

        def cell_editor():
            return xdo(env, "search", "--onlyvisible", "--name", "^Cell content$").split("\n")[0]

        def table_run(run):
            """The table: open, scroll, a cell edited in its editor and saved, a swap, find and step."""
            click(*rows["Small"], wait=3.0)
            settle(pid)
            base = rss_mb(pid)
            reset_peak(pid)
            steps = [("open", click(*rows[TABLE], wait=15.0))]
            settle(pid, limit=30.0)  # the rows are measured between events after the first screen
            mem_open = rss_mb(pid) - base
            if run == 0: shot("table-open")
            t0 = now_ms()
            subprocess.run(["xdotool", "mousemove", "--window", win, str(BODY[0]), str(BODY[1]),
                            "click", "--repeat", "10", "--delay", "40", "5"], env=env)
            time.sleep(2.0)
            steps.append(("scroll", t0))
            subprocess.run(["xdotool", "mousemove", "--window", win, str(BODY[0]), str(BODY[1]),
                            "click", "--repeat", "10", "--delay", "40", "4"], env=env)  # back to the top
            time.sleep(2.0)
            steps.append(("gap", now_ms()))
            # Double click: the cell editor opens; a word typed; its Save button.
            steps.append(("Edit", click(*TABLE_CELL, wait=2.0, n=2)))
            ed = cell_editor()
            steps.append(("type", typed(" typed", wait=1.0)))
            if run == 0: shot("table-cell-editor")
            saved_at = now_ms()
            if ed:
                geo = dict(l.split("=", 1) for l in xdo(env, "getwindowgeometry", "--shell", ed).split("\n") if "=" in l)
                subprocess.run(["xdotool", "mousemove", "--window", ed, str(int(geo["WIDTH"]) - 50),
                                str(int(geo["HEIGHT"]) - 27), "click", "1"], env=env)
            time.sleep(4.0)
            steps.append(("Save", saved_at))
            if cell_editor(): print(f"(!) run {run}: the cell editor is still open after Save", file=sys.stderr)
            # Two cells swapped by dragging one onto the other with the right button.
            t0 = now_ms()
            (x0, y0), (x1, y1) = TABLE_SWAP
            subprocess.run(["xdotool", "mousemove", "--window", win, str(x0), str(y0), "mousedown", "3",
                            "mousemove", "--window", win, str((x0 + x1) // 2), str((y0 + y1) // 2),
                            "mousemove", "--window", win, str(x1), str(y1), "mouseup", "3"], env=env)
            time.sleep(4.0)
            steps.append(("swap", t0))
            if run == 0: shot("table-swapped")
            steps.append(("find", keys("ctrl+f", wait=0.8)))
            typed("value 1999", wait=4.0)
            steps.append(("step", keys("Return", wait=1.0)))
            keys("Return", wait=1.0)
            keys("Return", wait=1.0)
            if run == 0: shot("table-found")
            steps.append(("gap", keys("ctrl+f", wait=2.0)))
            steps.append(("end", now_ms()))
            peak = peak_mb(pid) - base
            click(*rows["Small"], wait=4.0)
            settle(pid)
            record(TABLE, steps)
            results.setdefault((TABLE, "mem open"), []).append(mem_open)
            results.setdefault((TABLE, "mem peak"), []).append(peak)
            results.setdefault((TABLE, "mem peak edit"), []).append(peak)
            results.setdefault((TABLE, "mem after"), []).append(rss_mb(pid) - base)

        names = [n.strip() for n in a.notes.split(",")]
        for name in names:
            big = "MB" in name
            for run in range(a.runs):
                if name == TABLE:
                    table_run(run)
                    continue
                click(*rows["Small"], wait=3.0 if big else 2.0)
                settle(pid)
                base = rss_mb(pid)
                reset_peak(pid)
                steps = []
                # A large note's document is built on a worker: its arrival belongs to the open.
                steps.append(("open", click(*rows[name], wait=15.0 if big else 2.0)))
                mem_open = rss_mb(pid) - base
                if run == 0: shot(f"{name}-open")
                # Ten wheel notches over the body, as a hand turns it.
                t0 = now_ms()
                subprocess.run(["xdotool", "mousemove", "--window", win, str(BODY[0]), str(BODY[1]),
                                "click", "--repeat", "10", "--delay", "40", "5"], env=env)
                time.sleep(2.0)
                steps.append(("scroll", t0))
                # Into the text (a click on plain words, not on a link), then to the end and back.
                click(BODY_TEXT[0], BODY_TEXT[1], wait=1.0)
                steps.append(("Ctrl+End", keys("ctrl+End", wait=3.0 if big else 1.0)))
                keys("ctrl+Home", wait=3.0 if big else 1.0)
                steps.append(("find", keys("ctrl+f", wait=0.8)))
                typed("example", wait=8.0 if big else 1.5)
                steps.append(("step", keys("Return", wait=1.0)))
                keys("Return", wait=1.0)
                keys("Return", wait=1.0)
                if run == 0: shot(f"{name}-found")
                steps.append(("gap", keys("ctrl+f", wait=1.0)))
                steps.append(("Edit", click(*EDIT_BUTTON, wait=4.0 if big else 2.0)))
                click(BODY_TEXT[0], BODY_TEXT[1], wait=1.0)
                steps.append(("gap", now_ms()))
                steps.append(("type", typed("Typed from outside ")))
                steps.append(("format", keys("ctrl+shift+Left", "ctrl+shift+Left", "ctrl+b", wait=1.0)))
                if run == 0: shot(f"{name}-edited")
                # About 1 KB of the note's own rich lines copied, then pasted at the end.
                keys("ctrl+Home", wait=1.0)
                keys(*["shift+Down"] * 6, "ctrl+c", wait=1.0)
                keys("ctrl+End", wait=3.0 if big else 1.0)
                steps.append(("paste", keys("ctrl+v", wait=3.0 if big else 1.0)))
                # What the note costs while open, apart from what the writer of the save adds.
                peak_edit = peak_mb(pid) - base
                steps.append(("Save", click(*SAVE_BUTTON, wait=15.0 if big else 2.5)))
                if run == 0: shot(f"{name}-saved")
                steps.append(("end", now_ms()))
                peak = peak_mb(pid) - base
                click(*rows["Small"], wait=4.0 if big else 2.0)
                settle(pid)
                mem_after = rss_mb(pid) - base
                record(name, steps)
                results.setdefault((name, "mem open"), []).append(mem_open)
                results.setdefault((name, "mem peak"), []).append(peak)
                results.setdefault((name, "mem peak edit"), []).append(peak_edit)
                results.setdefault((name, "mem after"), []).append(mem_after)
        med = lambda v: sorted(v)[len(v) // 2]
        cols = ("open", "1st", "scroll", "Ctrl+End", "find", "step", "Edit", "type", "format", "paste", "Save")
        # A step a note does not have (the table has no Ctrl+End, format or paste) shows as "-".
        fig = lambda name, w: f"{med(results[(name, w)]):.1f}" if (name, w) in results else "-"
        print(f"From outside ({a.runs} runs, median): longest stretch of the window's thread per step, ms "
              "(1st: the first stretch after the click that opens)")
        print("| note | " + " | ".join(cols) + " | RSS open / peak before Save / peak / after another note |")
        print("|---" * (len(cols) + 2) + "|")
        for name in names:
            print(f"| {name} | " + " | ".join(fig(name, w) for w in cols)
                  + f" | +{med(results[(name, 'mem open')]):.0f} / +{med(results[(name, 'mem peak edit')]):.0f}"
                    f" / +{med(results[(name, 'mem peak')]):.0f}"
                    f" / +{med(results[(name, 'mem after')]):.0f} MB |")
        if TABLE in names:
            print(f"{TABLE}: Edit is the double click that opens a cell's editor, type and Save are in that editor; "
                  f"swap (a right-button drag) {fig(TABLE, 'swap')} ms")
        # Run by run: a run that finds the note still held from the one before shows less than it costs.
        print("RSS run by run (open / peak before Save / peak / after another note, MB over before open):")
        for name in names:
            runs = zip(*(results[(name, w)] for w in ("mem open", "mem peak edit", "mem peak", "mem after")))
            print(f"  {name}: " + ", ".join("+%.0f / +%.0f / +%.0f / +%.0f" % r for r in runs))
    finally:
        if pid: os.kill(pid, 15)  # the app, which the stall tool waits for
        for p in reversed(procs):
            p.terminate()
            try: p.wait(timeout=8)
            except subprocess.TimeoutExpired: p.kill(); p.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
