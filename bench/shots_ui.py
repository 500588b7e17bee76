#!/usr/bin/env python3
"""A private home, X server and window manager for driving the real app from outside with xdotool.

  bench/shots_ui.py start DIR [--binary build/mivo] [--lang uk] [--theme dark] [--scale 1.3]
                              [--notes FILE.json] [--keep-home]
  bench/shots_ui.py stop DIR

`start` makes DIR/home (HOME, TMPDIR, XDG_* dirs), seeds DIR/home/data/mivo/mivo.sqlite3 with the
language, theme, font scale and, with --notes, a savedNotes document (a file bench_notes budget-document
writes, or any JSON list of notes), starts Xvfb on a display it picks itself, jwm and the app, and
writes DIR/env (DISPLAY=..., HOME=... lines for `env $(cat DIR/env) xdotool ...`), DIR/pids and
DIR/app.pid. A start with an existing DIR/home keeps its database (a relaunch after a quit). `stop`
ends what start started, by id. Used as a module, Session does the same from Python.
"""
import argparse, os, signal, sqlite3, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xdisplay

PREFS = "CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)"


def home_env(home):
    env = dict(os.environ, HOME=home, TMPDIR=f"{home}/tmp", XDG_DATA_HOME=f"{home}/data",
               XDG_CONFIG_HOME=f"{home}/config", XDG_CACHE_HOME=f"{home}/cache", XDG_RUNTIME_DIR=f"{home}/run")
    env.pop("QT_QPA_PLATFORM", None)
    return env


def make_home(home, lang, theme, scale, notes=None):
    for d in ("tmp", "data/mivo", "config", "cache"): os.makedirs(f"{home}/{d}", exist_ok=True)
    os.makedirs(f"{home}/run", mode=0o700, exist_ok=True)
    c = sqlite3.connect(f"{home}/data/mivo/mivo.sqlite3")
    c.execute(PREFS)
    for k, t, v in (("appLanguage", "string", lang), ("appTheme", "string", theme),
                    ("appFontScale", "double", float(scale))):
        c.execute("INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?, ?, ?)", (k, t, v))
    if notes:
        c.execute("INSERT OR REPLACE INTO prefs(key, type, value) VALUES('savedNotes', 'data', ?)",
                  (open(notes, "rb").read(),))
    c.commit(); c.close()


class Session:
    def __init__(self, base, binary="build/mivo"):
        self.base, self.binary = base, os.path.abspath(binary)
        self.home = f"{base}/home"
        self.db = f"{self.home}/data/mivo/mivo.sqlite3"
        self.env = home_env(self.home)
        self.procs, self.app, self.win = [], None, None

    def start_x(self):
        xdisplay.start_x(self.procs, self.env, pause=0.8)

    def start_app(self, wait_window=True, timeout=60):
        self.stderr = open(f"{self.base}/stderr-{int(time.time())}.txt", "w")
        self.app = subprocess.Popen([self.binary], env=self.env, stdout=subprocess.DEVNULL, stderr=self.stderr)
        if not wait_window: return None
        w = self.find_window(min(timeout, 15))
        if not w and self.app.poll() is None:
            # Started hidden in the tray: a second launch brings the running window to the front.
            subprocess.run([self.binary], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=30)
            w = self.find_window(timeout)
        return w

    def xdo(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True).stdout.strip()

    def find_window(self, timeout=60, name="^Mivo$"):
        t_end = time.monotonic() + timeout
        while time.monotonic() < t_end:
            w = self.xdo("search", "--onlyvisible", "--name", name).split("\n")[0]
            if w:
                self.win = w
                return w
            if self.app.poll() is not None: return None
            time.sleep(0.5)
        return None

    def click(self, x, y, wait=1.0, n=1, button=1, win=None):
        subprocess.run(["xdotool", "mousemove", "--window", win or self.win, str(x), str(y), "click", "--repeat",
                        str(n), "--delay", "80", str(button)], env=self.env)
        time.sleep(wait)

    def keys(self, *k, wait=0.8):
        subprocess.run(["xdotool", "key", "--delay", "60", *k], env=self.env)
        time.sleep(wait)

    def type(self, text, wait=0.8):
        subprocess.run(["xdotool", "type", "--delay", "60", text], env=self.env)
        time.sleep(wait)

    def shot(self, path, win=None, root=False):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        target = "root" if root else (win or self.win)
        subprocess.run(["import", "-window", target, path], env=self.env)

    def windows(self):
        """Visible top-level windows: (id, name, x, y, w, h)."""
        out = []
        for w in self.xdo("search", "--onlyvisible", "--name", ".").split():
            name = self.xdo("getwindowname", w)
            geo = dict(l.split("=", 1) for l in self.xdo("getwindowgeometry", "--shell", w).split("\n") if "=" in l)
            out.append((w, name, int(geo.get("X", 0)), int(geo.get("Y", 0)), int(geo.get("WIDTH", 0)),
                        int(geo.get("HEIGHT", 0))))
        return out

    def cpu_ticks(self):
        try:
            f = open(f"/proc/{self.app.pid}/stat").read().rsplit(")", 1)[1].split()
            return int(f[11]) + int(f[12])
        except (OSError, IndexError, ValueError):
            return -1

    def settle(self, quiet=1.5, limit=60.0):
        t_end = time.monotonic() + limit
        last, since = self.cpu_ticks(), time.monotonic()
        while time.monotonic() < t_end:
            time.sleep(0.25)
            now = self.cpu_ticks()
            if now != last: last, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet: return True
        return False

    def term_and_time(self, limit=30.0):
        """SIGTERM to the app; seconds until its process is gone (reaped), and its exit status."""
        t0 = time.monotonic()
        self.app.send_signal(signal.SIGTERM)
        try:
            rc = self.app.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.app.kill(); rc = self.app.wait(); rc = f"killed after {limit}s ({rc})"
        return time.monotonic() - t0, rc

    def stop(self):
        if self.app and self.app.poll() is None:
            self.app.terminate()
            try: self.app.wait(timeout=15)
            except subprocess.TimeoutExpired: self.app.kill(); self.app.wait()
        xdisplay.end(self.procs)
        self.procs = []


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("what", choices=("start", "stop"))
    ap.add_argument("dir")
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--lang", default="uk")
    ap.add_argument("--theme", default="dark")
    ap.add_argument("--scale", default="1.3")
    ap.add_argument("--notes", default="")
    a = ap.parse_args()
    base = os.path.abspath(a.dir)
    if a.what == "stop":
        for line in open(f"{base}/pids").read().split():
            try: os.kill(int(line), signal.SIGTERM)
            except ProcessLookupError: pass
        return
    os.makedirs(base, exist_ok=True)
    s = Session(base, a.binary)
    if not os.path.exists(s.db): make_home(s.home, a.lang, a.theme, a.scale, a.notes or None)
    s.start_x()
    w = s.start_app(timeout=90)
    open(f"{base}/env", "w").write(f"DISPLAY={s.env['DISPLAY']}\nHOME={s.home}\n")
    open(f"{base}/app.pid", "w").write(str(s.app.pid))
    open(f"{base}/pids", "w").write("\n".join(str(p.pid) for p in [s.app, *reversed(s.procs)]))
    print(f"DISPLAY={s.env['DISPLAY']} app={s.app.pid} window={w}")
    # Detach: the processes live on; `stop` ends them by id.
    os._exit(0)


if __name__ == "__main__":
    main()
