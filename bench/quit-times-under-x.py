#!/usr/bin/env python3
"""SIGTERM-to-exit times of the real app, measured from outside, and whether the last edit was kept.

  bench/quit-times-under-x.py --notes DOC.json [--binary build/mivo] [--runs 5] [--cases lock,save,both]
                              [--shots DIR] [--delay 0.2] [--keep-lost]

Each run gets a fresh private home seeded with DOC.json as savedNotes (its first note short, its second
large: `bench/quit-times-under-x.py --make-doc DOC.json` writes one with a 40 MB second note), an Xvfb
with jwm, and the app. Cases:
  lock  another program (the sqlite3 shell) holds BEGIN IMMEDIATE on the database; the short note is
        edited and saved; SIGTERM 2 s after Save (the save is waiting for the lock).
  save  the large note is opened, a word typed at its start, Save, SIGTERM --delay s after the click.
  both  the two at once: the lock held, the large note edited and saved, SIGTERM --delay s after Save.
  typed the short note edited in its editor, Save not clicked, no lock; SIGTERM --delay s after typing.
  commit the other program holds the lock with its own change to the notes; the short note is edited and
        saved; SIGTERM 2 s after Save; the other program commits --commit-after s into the quit.
The time is from the signal to the process gone (waited for as its parent). The lock is released after
the exit; then the edit is looked for in the database, else in mivo.sqlite3.unsaved, and in that case
the app is started again (offscreen) to see it written at the next start.
"""
import argparse, json, os, shutil, signal, sqlite3, statistics, subprocess, sys, tempfile, threading, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import importlib.util
_spec = importlib.util.spec_from_file_location("shots_ui", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                      "shots_ui.py"))
shots_ui = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(shots_ui)

NOTES_SIDEBAR = (80, 239)
ROWS = {"short": (350, 130), "large": (350, 194)}
EDIT_BUTTON = (636, 168)
SAVE_BUTTON = (1118, 122)


def make_doc(path):
    notes = [{"id": "83BC3AB3-C833-43EB-BA46-2B3194A2F503", "type": "text", "emoji": "📝", "title": "Small",
              "body": "A short note shown between the others.", "link": "", "columns": [], "rows": [],
              "createdInterval": 818552543.786, "modifiedInterval": 818552543.786}]
    lines, n, size = [], 0, 0
    while size < 40_000_000:
        s = f"Line {n} of a forty megabyte note: plain words to read and search, with a number {n * 7919 % 100003} at its end.\n"
        lines.append(s); size += len(s); n += 1
    big = dict(notes[0], id="40404040-4040-4040-4040-404040404040", title="Forty MB", body="".join(lines))
    notes.append(big)
    json.dump(notes, open(path, "w"), ensure_ascii=False, separators=(",", ":"))


class Holder:
    """The sqlite3 shell holding a write transaction on the database."""
    def __init__(self, db, write=False):
        self.p = subprocess.Popen(["sqlite3", db], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, text=True, bufsize=1)
        # Writing: the other program's own change to the notes, committed later (commit()).
        change = ("UPDATE prefs SET value = CAST(replace(CAST(value AS TEXT), 'A short note shown between the "
                  "others.', 'OTHERPROGRAM changed this note.') AS BLOB) WHERE key = 'savedNotes';\n") if write else ""
        self.p.stdin.write(".timeout 30000\nBEGIN IMMEDIATE;\n" + change + "SELECT 'locked';\n")
        self.p.stdin.flush()
        line = self.p.stdout.readline().strip()
        if line != "locked": raise RuntimeError(f"sqlite3 did not take the lock: {line!r}")

    def commit(self):
        self.p.stdin.write("COMMIT;\n")
        self.p.stdin.flush()

    def release(self):
        self.p.stdin.write("ROLLBACK;\n.quit\n")
        self.p.stdin.flush()
        self.p.wait(timeout=30)


def timed_term(app, limit=60.0, watch=()):
    """SIGTERM; seconds until the process has exited (its parent's wait returns), and its status. With
    watch (paths), also when each was last seen to change, in seconds after the signal (polled every
    20 ms): the database's files stop changing when the final commit ends, before the process does."""
    done = threading.Event()
    changed = {}

    def poll():
        last = {}
        while not done.is_set():
            for p in watch:
                try: st = os.stat(p); now = (st.st_size, st.st_mtime_ns)
                except OSError: now = None
                if p in last and last[p] != now: changed[p] = time.monotonic() - t0
                last[p] = now
            time.sleep(0.02)
    killer = threading.Timer(limit, lambda: (not done.is_set()) and app.kill())
    t0 = time.monotonic()
    watcher = threading.Thread(target=poll)
    if watch: watcher.start()
    app.send_signal(signal.SIGTERM)
    killer.start()
    rc = app.wait()
    t = time.monotonic() - t0
    done.set(); killer.cancel()
    if watch:
        watcher.join()
        timed_term.changed = {os.path.basename(p): round(v, 2) for p, v in changed.items()}
    return t, rc


def keys_with(db, marker):
    c = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
    try:
        return [k for (k,) in c.execute("SELECT key FROM prefs WHERE instr(CAST(value AS BLOB), CAST(? AS BLOB)) > 0",
                                          (marker,))]
    finally:
        c.close()


def doc_has(db, marker):
    c = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
    try:
        row = c.execute("SELECT value FROM prefs WHERE key='savedNotes'").fetchone()
    finally:
        c.close()
    if not row: return False
    v = row[0] if isinstance(row[0], bytes) else str(row[0]).encode()
    return marker.encode() in v


def run(case, i, a, out):
    base = tempfile.mkdtemp(prefix=f"mivo-quit-{case}-")
    s = shots_ui.Session(base, a.binary)
    shots_ui.make_home(s.home, "uk", "dark", "1.3", a.notes)
    marker = f"QUITMARK{case.upper()}{i}"
    holder = None
    res = {"case": case, "run": i}
    try:
        s.start_x()
        if not s.start_app(timeout=120): raise RuntimeError("no window")
        s.settle(quiet=1.5, limit=120)
        s.click(*NOTES_SIDEBAR, wait=2.0)
        row = "short" if case in ("lock", "typed", "commit") else "large"
        s.click(*ROWS[row], wait=2.0)
        s.settle(quiet=2.0, limit=180)
        s.click(*EDIT_BUTTON, wait=2.0)
        s.settle(quiet=2.0, limit=180)
        if row == "short": s.keys("ctrl+End", wait=0.5)
        else: s.keys("ctrl+Home", wait=1.0)
        s.type(marker + " ", wait=1.0)
        if case in ("lock", "both", "commit"): holder = Holder(s.db, write=case == "commit")
        s.settle(quiet=1.0, limit=60)
        if a.shots and i == 0: s.shot(f"{a.shots}/{case}-edited.png")
        if case != "typed": s.click(*SAVE_BUTTON, wait=0)
        time.sleep(2.0 if case in ("lock", "commit") else a.delay)
        if case == "commit": threading.Timer(a.commit_after, holder.commit).start()
        t, rc = timed_term(s.app, watch=[s.db, s.db + "-wal", s.db + ".unsaved"])
        res.update(seconds=t, exit=rc, files_last_changed=timed_term.changed)
        if holder: holder.release(); holder = None
        if case == "commit":
            res["other_program_kept"] = keys_with(s.db, "OTHERPROGRAM")
        s.stderr.flush()
        err = open(s.stderr.name).read().strip().splitlines()
        res["stderr"] = [l for l in err if "mivo:" in l][-4:]
        unsaved = s.db + ".unsaved"
        res["committed"] = doc_has(s.db, marker)
        res["unsaved"] = os.path.exists(unsaved) and marker.encode() in open(unsaved, "rb").read()
        res["notices"] = os.path.exists(s.db + ".notices")
        if not res["committed"]:
            # The next start: what .unsaved holds is written then.
            env = dict(s.env, QT_QPA_PLATFORM="offscreen")
            env.pop("DISPLAY", None)
            app2 = subprocess.Popen([s.binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            s.app = app2
            time.sleep(3.0)
            s.settle(quiet=2.0, limit=120)
            timed_term(app2)
            res["applied_at_next_start"] = doc_has(s.db, marker)
            res["marker_in_keys"] = keys_with(s.db, marker)
    except Exception as e:  # a run that could not be driven says why, the others go on
        res["error"] = repr(e)
    finally:
        if holder:
            try: holder.release()
            except Exception: holder.p.kill()
        s.stop()
        lost = ("seconds" in res and not res.get("committed") and not res.get("applied_at_next_start")
                and not res.get("marker_in_keys"))
        if a.keep_lost and lost: res["home"] = base  # to start it again and see what the user is told
        else: shutil.rmtree(base, ignore_errors=True)
    print(json.dumps(res, ensure_ascii=False), file=out, flush=True)
    return res


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--notes", default="")
    ap.add_argument("--make-doc", default="")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--cases", default="lock,save,both")
    ap.add_argument("--delay", type=float, default=0.2)
    ap.add_argument("--shots", default="")
    ap.add_argument("--commit-after", type=float, default=1.5)
    ap.add_argument("--keep-lost", action="store_true", help="keep the home of a run whose edit was lost")
    a = ap.parse_args()
    if a.make_doc:
        make_doc(a.make_doc)
        return
    if not a.notes: sys.exit("--notes DOC.json (or --make-doc DOC.json first)")
    a.notes = os.path.abspath(a.notes)
    results = {}
    for case in a.cases.split(","):
        for i in range(a.runs):
            results.setdefault(case, []).append(run(case, i, a, sys.stdout))
    print("| case | runs | median s | max s | exit codes | edit committed / in .unsaved and written at next start / "
          "kept aside as a copy / lost |")
    print("|---|---|---|---|---|---|")
    for case, rs in results.items():
        ts = [r["seconds"] for r in rs if "seconds" in r]
        kept = sum(1 for r in rs if r.get("committed"))
        later = sum(1 for r in rs if not r.get("committed") and r.get("applied_at_next_start"))
        aside = sum(1 for r in rs if not r.get("committed") and not r.get("applied_at_next_start")
                    and r.get("marker_in_keys"))
        lost = sum(1 for r in rs if "seconds" in r and not r.get("committed") and not r.get("applied_at_next_start")
                   and not r.get("marker_in_keys"))
        codes = ",".join(str(r.get("exit")) for r in rs)
        if ts:
            print(f"| {case} | {len(ts)} | {statistics.median(ts):.2f} | {max(ts):.2f} | {codes} | "
                  f"{kept} / {later} / {aside} / {lost} |")


if __name__ == "__main__":
    main()
