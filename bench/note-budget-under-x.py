#!/usr/bin/env python3
"""Text notes used in the real app under a private X server, measured from outside.

  bench/note-budget-under-x.py [--binary build/mivo] [--bench build/bench/bench_notes] [--runs 3]
                               [--big-runs 2] [--notes "4 KB,12 KB,..."] [--json FILE] [--shots DIR]

Seeds a fresh home's database with the notes bench_notes measures (`bench_notes budget-document`, or
--seed FILE written by it before: one seed for two builds measures both on the same notes), runs the app
under ../shared/tools/window-stalls in Xvfb with jwm, and clicks and types with xdotool. Each note gets an
app started for it, so its first run is its first open after a start. A run: open the note from the
list, scroll, a click into the text, Ctrl+End, find and step, Edit, a click into the text, type, format,
type at the text's start (and take it back), paste about 1 KB of its own rich lines; then Ctrl+A,
Ctrl+C, the copy read by another program (xclip), Delete of everything, its undo and redo (and undo
again), a 5 MB paste from another program and its undo; Save. On the 10 000 x 20 table: open, scroll,
double-click a cell, type in its editor and Save it, swap two cells by a right-button drag, find and step.

Every step waits until the app has settled (no CPU for a moment), so a slow step is measured whole and
never runs into the next. For each step it takes, from the stall log, the CPU of the window's thread in its
longest stretch between two waits of the event loop (on a loaded machine wall time holds waits for a
processor; a budget of work is judged on CPU); "1st" is the first paint after the click that opens (the mouse
already over the row): the CPU of the window's thread from its first wake after the click until it first
puts pixels on screen (bench/paintprobe.py). Memory: resident memory over
what the app held with a short note shown: once the note is open, the peak over the whole run (Delete-all
and undo included), after Save, and after the short note is shown again.

Prints a table of medians and maxima; --json keeps every run's figures (bench/budget-table.py sets two such
files side by side).
"""
import argparse, json, os, shutil, sqlite3, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import paintprobe
import xdisplay
# The stall tool beside the source tree (the main checkout's or a worktree's).
STALLS = next((p for p in (os.path.join(HERE, *[".."] * n, "shared", "tools", "window-stalls") for n in (2, 3))
               if os.path.isfile(p)), "window-stalls")
# Where a user clicks, in the window at scale 1.0 (English, 1200 x 760): the notes page in the sidebar,
# the list's rows (the seeded notes in their order) and the detail's buttons.
NOTES_SIDEBAR = (80, 239)
LIST_X, LIST_Y0, LIST_DY = 350, 130, 64
ROWS = ["Small", "4 KB", "12 KB", "60 KB", "1 MB", "20 MB", "50 MB", "emoji line", "50 MB emoji+flags"]
EDIT_BUTTON = (636, 168)
SAVE_BUTTON = (1123, 121)
BODY = (800, 450)          # over the detail's text
BODY_TEXT = (620, 326)  # on plain words of the text (a bullet line), not on a link
TABLE = "10 000 x 20 table"
TABLE_CARD = (LIST_X, 734)  # the tables follow the text notes under a heading of their own
# The table's cells on its first screen (one-line rows): a cell to edit, and two to swap.
TABLE_CELL = (760, 392)
TABLE_SWAP = ((760, 320), (860, 356))
COLS = ("open", "1st", "scroll", "click", "Ctrl+End", "find", "step", "Edit", "click ed", "type", "format",
        "type start", "paste", "Ctrl+A", "Ctrl+C", "copy read", "Delete all", "undo", "redo", "paste 5MB", "undo 5MB",
        "Save")
MEMS = ("mem open", "mem peak", "mem saved", "mem after")


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


def settle(pid, quiet=1.5, limit=60.0, idle_ticks=2):
    """Waits until the app has used at most idle_ticks of CPU in `quiet` seconds (at most `limit`): a
    caret's blink is quiet, a worker still writing or freeing is not. Returns the seconds waited."""
    t_start = time.monotonic()
    samples = [(t_start, cpu_ticks(pid))]
    while time.monotonic() - t_start < limit:
        time.sleep(0.25)
        t, c = time.monotonic(), cpu_ticks(pid)
        if c < 0: break
        samples.append((t, c))
        old = [s for s in samples if t - s[0] >= quiet]
        if old and c - old[-1][1] <= idle_ticks: break
    return time.monotonic() - t_start


def app_pid(parent, binary):
    """The child of parent running binary, or 0 (a child may end while it is looked at: the tool's compiler)."""
    try:
        kids = open(f"/proc/{parent}/task/{parent}/children").read().split()
    except OSError:
        return 0
    for k in kids:
        try:
            if os.path.realpath(f"/proc/{k}/exe", strict=True) == binary: return int(k)
        except OSError:
            pass
    return 0


def read_log(log):
    """(start ms, wall ms, CPU ms) of each stretch the tool logged."""
    rows = []
    try:
        for line in open(log):
            p = line.split()
            if len(p) == 3 and p[2] != "start":
                rows.append((float(p[0]), float(p[1]), float(p[2])))
            elif len(p) == 2:  # an older tool: wall time only
                rows.append((float(p[0]), float(p[1]), float(p[1])))
    except OSError:
        pass
    return rows


def longest(log, since, until):
    """The CPU of the window's thread in its longest stretch (by CPU) between since and until, and
    that stretch's wall time."""
    worst = (0.0, 0.0)
    for start, wall, cpu in read_log(log):
        if since <= start < until and cpu > worst[0]: worst = (cpu, wall)
    return worst


def first_burst(log, since, until, idle_ms=16.0):
    """The CPU of the window's thread from since until it first stays idle for idle_ms."""
    total, end = 0.0, None
    for start, wall, cpu in sorted(read_log(log)):
        if start < since or start >= until: continue
        if end is not None and start - end >= idle_ms: break
        total += cpu
        end = start + wall
    return total


def stretches(log, since, until, at_least):
    return [f"{cpu:.1f}/{wall:.0f}@{start - since:.0f}" for start, wall, cpu in read_log(log)
            if since <= start < until and cpu >= at_least]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--bench", default="build/bench/bench_notes")
    ap.add_argument("--seed", default="", help="a savedNotes document written by `bench_notes budget-document`")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--big-runs", type=int, default=0, help="runs of the notes of a megabyte and more (default --runs)")
    ap.add_argument("--json", default="", help="writes every run's figures to this file")
    ap.add_argument("--label", default="")
    ap.add_argument("--shots", default="")
    ap.add_argument("--stretches", type=float, default=0.0,
                    help="also print, step by step, every stretch of at least this many ms of CPU")
    ap.add_argument("--first-paint", action="store_true",
                    help="only open each note from the short one, runs times: the open and its first paint")
    ap.add_argument("--notes", default="4 KB,12 KB,60 KB,1 MB,20 MB,50 MB,50 MB emoji+flags",
                    help=f"list rows by name: {','.join(ROWS[1:])},{TABLE}")
    ap.add_argument("--plain-copy", action="store_true",
                    help="no typing, formatting or pasting before Ctrl+A, Ctrl+C: the note copied as it was stored")
    a = ap.parse_args()
    big_runs = a.big_runs or a.runs
    root = tempfile.mkdtemp(prefix="mivo-budget-")
    os.makedirs(f"{root}/tmp")
    doc = a.seed or f"{root}/notes.bin"
    if not a.seed:
        subprocess.run([a.bench, "budget-document", doc], check=True,
                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen", TMPDIR=f"{root}/tmp"),
                       stderr=subprocess.DEVNULL)
    seeded = f"{root}/mivo.sqlite3"
    c = sqlite3.connect(seeded)
    c.execute("CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)")
    c.execute("INSERT OR REPLACE INTO prefs(key, type, value) VALUES('savedNotes', 'data', ?)", (open(doc, "rb").read(),))
    c.commit(); c.close()
    # 5 MB of plain lines another program offers on the clipboard.
    paste5 = f"{root}/paste5.txt"
    with open(paste5, "w") as f:
        i = 0
        while f.tell() < 5 << 20:
            f.write(f"Pasted line {i} from another program, plain words to read and search again.\n")
            i += 1
    procs = []
    results, mem_runs = {}, {}
    xenv = dict(os.environ)
    xenv.pop("QT_QPA_PLATFORM", None)
    try:
        xdisplay.start_x(procs, xenv)
        names = [n.strip() for n in a.notes.split(",")]
        for name in names:
            session(a, name, big_runs if ("MB" in name or name == TABLE) else a.runs, root, seeded, paste5, xenv,
                    results, mem_runs)
        print_table(a, names, results, mem_runs)
        if a.json:
            with open(a.json, "w") as f:
                json.dump({"label": a.label or a.binary, "binary": os.path.realpath(a.binary), "names": names,
                           "steps": {f"{k[0]}|{k[1]}": v for k, v in results.items()}, "mem": mem_runs}, f, indent=1)
    finally:
        xdisplay.end(procs)
        shutil.rmtree(root, ignore_errors=True)


def app_home(xenv, home, database):
    """A new home of the app's own at home (HOME, TMPDIR, XDG_* folders) holding a copy of database;
    xenv with it."""
    env = dict(xenv, HOME=home, TMPDIR=f"{home}/tmp", XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               XDG_CACHE_HOME=f"{home}/cache", XDG_RUNTIME_DIR=f"{home}/run")
    for d in ("tmp", "data/mivo", "config", "cache"): os.makedirs(f"{home}/{d}")
    os.makedirs(f"{home}/run", mode=0o700)
    shutil.copy(database, f"{home}/data/mivo/mivo.sqlite3")
    return env


def session(a, name, runs, root, seeded, paste5, xenv, results, mem_runs):
    """An app started with the seeded notes, the note measured runs times in it."""
    home = f"{root}/home-{len(mem_runs)}"
    env = app_home(xenv, home, seeded)
    log = f"{home}/stalls.log"
    paints = env["PAINT_PROBE_LOG"] = f"{home}/paints.log"
    pid = 0
    tool = subprocess.Popen(["python3", STALLS, "--min-ms", "1", "--log", log, "--", *paintprobe.wrap([a.binary])],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    clip = []
    try:
        # The tool builds its library first and the app starts slowly on a busy machine: wait for it.
        want = os.path.realpath(a.binary)
        t_end = time.monotonic() + 60
        while not pid and time.monotonic() < t_end:
            time.sleep(0.5)
            pid = app_pid(tool.pid, want)
        if not pid: sys.exit("the app did not start")
        settle(pid, limit=60.0)
        win = xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win:
            subprocess.run([a.binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
            time.sleep(1.5)
            win = xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win: sys.exit("the main window did not appear")

        peaks = []  # (when an action had settled, the peak over the run's base since the action before)

        def wait(minimum, limit):
            time.sleep(minimum)
            settle(pid, limit=limit)
            if base_of_run:
                peaks.append((now_ms(), peak_mb(pid) - base_of_run[0]))
                reset_peak(pid)

        def click(x, y, minimum=1.0, limit=60.0, n=1, hover_first=False):
            if hover_first:  # what the pointer's arrival repaints is no part of the click
                subprocess.run(["xdotool", "mousemove", "--window", win, str(x), str(y)], env=env)
                time.sleep(0.5)
            t0 = now_ms()
            subprocess.run(["xdotool", "mousemove", "--window", win, str(x), str(y), "click", "--repeat", str(n), "1"],
                           env=env)
            wait(minimum, limit)
            return t0

        def keys(*k, minimum=0.6, limit=300.0):
            t0 = now_ms()
            subprocess.run(["xdotool", "key", "--window", win, *k], env=env)
            wait(minimum, limit)
            return t0

        def typed(text, minimum=0.6, limit=120.0):
            t0 = now_ms()
            subprocess.run(["xdotool", "type", "--delay", "60", text], env=env)
            wait(minimum, limit)
            return t0

        def shot(tag):
            if a.shots:
                os.makedirs(a.shots, exist_ok=True)
                subprocess.run(["import", "-window", win, f"{a.shots}/{tag}.png"], env=env)

        base_of_run = []
        rows = {n: (LIST_X, LIST_Y0 + i * LIST_DY) for i, n in enumerate(ROWS)}
        rows[TABLE] = TABLE_CARD
        click(*NOTES_SIDEBAR, minimum=2.0)
        tag = name.replace(" ", "_").replace("+", "_")

        def record(steps):
            for (what, t0), (_, t1) in zip(steps, steps[1:]):
                if what == "gap": continue
                seen = [p for t, p in peaks if t0 <= t < t1]
                if seen: results.setdefault((name, what + " peak MB"), []).append(max(seen))
                cpu, wall = longest(log, t0, t1)
                results.setdefault((name, what), []).append(cpu)
                results.setdefault((name, what + " wall"), []).append(wall)
                if what == "open":
                    cpu, wall = paintprobe.first_paint(paints, t0, t1)
                    results.setdefault((name, "1st"), []).append(cpu)
                    results.setdefault((name, "1st wall"), []).append(wall)
                if a.stretches:
                    print(f"{name} {what}: " + " ".join(stretches(log, t0, t1, a.stretches)), file=sys.stderr)

        for run in range(runs):
            click(*rows["Small"], minimum=1.0)
            settle(pid)
            base = rss_mb(pid)
            reset_peak(pid)
            base_of_run[:] = [base]
            peaks.clear()
            if a.first_paint:
                steps = [("open", click(*rows[name], minimum=2.0, limit=120.0, hover_first=True)), ("end", now_ms())]
                mem_open = mem_saved = rss_mb(pid) - base
            elif name == TABLE:
                steps = table_run(a, run, pid, win, env, rows, click, keys, typed, shot)
            else:
                steps = [("open", click(*rows[name], minimum=2.0, limit=120.0, hover_first=True))]
                mem_open = rss_mb(pid) - base
                if run == 0: shot(f"{tag}-open")
                # Ten wheel notches over the body, as a hand turns it.
                t0 = now_ms()
                subprocess.run(["xdotool", "mousemove", "--window", win, str(BODY[0]), str(BODY[1]),
                                "click", "--repeat", "10", "--delay", "40", "5"], env=env)
                wait(1.0, 60.0)
                steps.append(("scroll", t0))
                # Into the text (a click on plain words, not on a link), then to the end and back.
                steps.append(("click", click(BODY_TEXT[0], BODY_TEXT[1])))
                steps.append(("Ctrl+End", keys("ctrl+End")))
                steps.append(("gap", keys("ctrl+Home")))
                steps.append(("find", keys("ctrl+f")))
                typed("example", limit=180.0)
                steps.append(("step", keys("Return")))
                keys("Return")
                keys("Return")
                if run == 0: shot(f"{tag}-found")
                steps.append(("gap", keys("ctrl+f")))
                steps.append(("Edit", click(*EDIT_BUTTON, minimum=1.5, limit=120.0)))
                steps.append(("click ed", click(BODY_TEXT[0], BODY_TEXT[1])))
                if not a.plain_copy:
                    steps.append(("type", typed("Typed from outside ")))
                    steps.append(("format", keys("ctrl+shift+Left", "ctrl+shift+Left", "ctrl+b")))
                    if run == 0: shot(f"{tag}-edited")
                    # Keys typed at the text's start, where the widest row may get narrower (and
                    # taken back: the steps below meet the text as before).
                    steps.append(("gap", keys("ctrl+Home")))
                    steps.append(("type start", typed("Start ")))
                    steps.append(("gap", keys(*["BackSpace"] * 6)))
                    # About 1 KB of the note's own rich lines copied, then pasted at the end.
                    steps.append(("gap", keys("ctrl+Home")))
                    keys(*["shift+Down"] * 6, "ctrl+c")
                    keys("ctrl+End")
                    steps.append(("paste", keys("ctrl+v")))
                # Everything selected and copied; the copy read as another program pastes it.
                steps.append(("Ctrl+A", keys("ctrl+a")))
                steps.append(("Ctrl+C", keys("ctrl+c")))
                t0 = now_ms()
                try:
                    got = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=env, capture_output=True,
                                         timeout=300).stdout
                except subprocess.TimeoutExpired:
                    got = b""
                wait(0.3, 300.0)
                steps.append(("copy read", t0))
                results.setdefault((name, "copied MB"), []).append(len(got) / 1e6)
                # Everything deleted, the delete undone and redone, and undone again: the note edited above.
                steps.append(("Delete all", keys("Delete")))
                if run == 0: shot(f"{tag}-deleted")
                steps.append(("undo", keys("ctrl+z")))
                steps.append(("redo", keys("ctrl+shift+z")))
                steps.append(("gap", keys("ctrl+z")))
                if run == 0: shot(f"{tag}-undone")
                # 5 MB of plain lines pasted from another program at the end, and that paste undone.
                keys("ctrl+End")
                clip.append(subprocess.Popen(["xclip", "-i", "-selection", "clipboard", paste5], env=env,
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
                time.sleep(0.5)
                steps.append(("paste 5MB", keys("ctrl+v", minimum=1.0)))
                if run == 0: shot(f"{tag}-pasted5")
                steps.append(("undo 5MB", keys("ctrl+z")))
                clip[-1].kill()
                steps.append(("Save", click(*SAVE_BUTTON, minimum=2.0, limit=300.0)))
                if run == 0: shot(f"{tag}-saved")
                steps.append(("end", now_ms()))
                mem_saved = rss_mb(pid) - base
            peak = max([p for _, p in peaks] + [peak_mb(pid) - base])
            base_of_run.clear()
            if name == TABLE: mem_open = mem_saved = -1
            click(*rows["Small"], minimum=2.0)
            settle(pid)
            mem_after = rss_mb(pid) - base
            record(steps)
            mem_runs.setdefault(name, []).append({"mem open": mem_open, "mem peak": peak, "mem saved": mem_saved,
                                                  "mem after": mem_after, "base": base})
            print(f"  {name} run {run + 1}: " + ", ".join(
                f"{w} {results[(name, w)][-1]:.1f}" for w in COLS if (name, w) in results) +
                  f"; RSS open +{mem_open:.0f}, peak +{peak:.0f}, saved +{mem_saved:.0f}, after +{mem_after:.0f} MB"
                  f" (base {base:.0f}); peak by step: " + ", ".join(
                      f"{w} +{results[(name, w + ' peak MB')][-1]:.0f}" for w in COLS if (name, w + " peak MB") in results) +
                  f"; copy read {results.get((name, 'copied MB'), [0])[-1]:.1f} MB", file=sys.stderr, flush=True)
    finally:
        for p in clip:
            if p.poll() is None: p.kill()
        xdisplay.end_app(pid, tool)


def table_run(a, run, pid, win, env, rows, click, keys, typed, shot):
    """The table: open, scroll, a cell edited in its editor and saved, a swap, find and step."""
    steps = [("open", click(*rows[TABLE], minimum=2.0, limit=120.0, hover_first=True))]
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
    steps.append(("Edit", click(*TABLE_CELL, minimum=2.0, n=2)))
    ed = xdo(env, "search", "--onlyvisible", "--name", "^Cell content$").split("\n")[0]
    steps.append(("type", typed(" typed")))
    if run == 0: shot("table-cell-editor")
    saved_at = now_ms()
    if ed:
        geo = dict(l.split("=", 1) for l in xdo(env, "getwindowgeometry", "--shell", ed).split("\n") if "=" in l)
        subprocess.run(["xdotool", "mousemove", "--window", ed, str(int(geo["WIDTH"]) - 50),
                        str(int(geo["HEIGHT"]) - 27), "click", "1"], env=env)
    time.sleep(4.0)
    steps.append(("Save", saved_at))
    t0 = now_ms()
    (x0, y0), (x1, y1) = TABLE_SWAP
    subprocess.run(["xdotool", "mousemove", "--window", win, str(x0), str(y0), "mousedown", "3",
                    "mousemove", "--window", win, str((x0 + x1) // 2), str((y0 + y1) // 2),
                    "mousemove", "--window", win, str(x1), str(y1), "mouseup", "3"], env=env)
    time.sleep(4.0)
    steps.append(("swap", t0))
    steps.append(("find", keys("ctrl+f")))
    typed("value 1999", minimum=4.0)
    steps.append(("step", keys("Return")))
    keys("Return")
    keys("Return")
    if run == 0: shot("table-found")
    steps.append(("gap", keys("ctrl+f", minimum=2.0)))
    steps.append(("end", now_ms()))
    return steps


def print_table(a, names, results, mem_runs):
    med = lambda v: sorted(v)[len(v) // 2]
    cell = lambda n, w: (f"{med(results[(n, w)]):.1f}/{max(results[(n, w)]):.1f}" if (n, w) in results else "-")
    print(f"From outside ({a.label or a.binary}): CPU of the window's thread in the longest stretch per step, ms, "
          "median/max of the runs (1st: from the click that opens until the first idle frame)")
    cols = [w for w in COLS if any((n, w) in results for n in names)]
    print("| note | " + " | ".join(cols) + " |")
    print("|---" * (len(cols) + 1) + "|")
    for n in names:
        print(f"| {n} | " + " | ".join(cell(n, w) for w in cols) + " |")
    print("RSS over the app with a short note shown, MB, run by run (open / peak / after Save / after another note):")
    for n in names:
        print(f"  {n}: " + ", ".join("+%.0f / +%.0f / +%.0f / +%.0f" % tuple(r[m] for m in MEMS)
                                     for r in mem_runs.get(n, [])))


if __name__ == "__main__":
    main()
