#!/usr/bin/env python3
"""Each page's first show with five years of data, in the real app under a private X server, measured
from outside.

  bench/page-shows-under-x.py [--binary build/mivo] [--profile-bench build/bench/bench_scale] [--runs 3]
                              [--scale 1.0] [--lang en] [--theme silver] [--pages pomodoro,statistics,settings]

Writes the five-year profile (`bench_scale --profile`) into a fresh home's database, runs the app under
../shared/tools/window-stalls in Xvfb with jwm, brings its window up (a second launch asks the first to
show it: the start page, Tasks, is shown for the first time then) and clicks each other page in the
sidebar once. For each it prints the CPU of the window thread's longest stretch between the action and
the next (the budget's measure), and its CPU over all the stretches meanwhile (the ring's frames of a
running timer among them). Each run is a new process, so every show is a first one.
"""
import argparse, os, shutil, sqlite3, subprocess, sys, tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
STALLS = next((p for p in (os.path.join(HERE, *[".."] * n, "shared", "tools", "window-stalls") for n in (2, 3))
               if os.path.isfile(p)), "window-stalls")
# The sidebar's rows at scale 1.0 (each 36 high from 114, groups 32 apart).
SIDEBAR = {"pomodoro": 131, "exercises": 167, "alarms": 203, "notes": 239, "tasks": 307, "calendar": 343,
           "finances": 379, "statistics": 447, "settings": 483, "support": 519}


def now_ms():
    return time.monotonic() * 1000


def xdo(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True).stdout.strip()


def stretches(log, since, until):
    out = []
    try:
        for line in open(log):
            f = line.split()
            if len(f) != 3 or f[2] == "start": continue
            t, length, cpu = float(f[0]), float(f[1]), float(f[2])
            if since <= t < until: out.append((length, cpu))
    except OSError:
        pass
    return out


def run_once(a, pages):
    home = tempfile.mkdtemp(prefix="mivo-pages-")
    env = dict(os.environ, HOME=home, TMPDIR=f"{home}/tmp", XDG_DATA_HOME=f"{home}/data",
               XDG_CONFIG_HOME=f"{home}/config", XDG_CACHE_HOME=f"{home}/cache", XDG_RUNTIME_DIR=f"{home}/run")
    env.pop("QT_QPA_PLATFORM", None)
    for d in ("tmp", "data/mivo", "config", "cache"): os.makedirs(f"{home}/{d}")
    os.makedirs(f"{home}/run", mode=0o700)
    db = f"{home}/data/mivo/mivo.sqlite3"
    subprocess.run([a.profile_bench, "--profile", db], check=True, env=dict(env, QT_QPA_PLATFORM="offscreen"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    c = sqlite3.connect(db)
    for key, value in (("appFontScale", a.scale), ("appLanguage", a.lang), ("appTheme", a.theme)):
        c.execute("INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?, ?, ?)",
                  (key, "double" if key == "appFontScale" else "string", value))
    c.commit(); c.close()
    log = f"{home}/stalls.log"
    procs, result = [], {}
    try:
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
        tool = subprocess.Popen(["python3", STALLS, "--min-ms", "0.5", "--log", log, "--", a.binary], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(tool)
        want, pid = os.path.realpath(a.binary), 0
        t_end = time.monotonic() + 60
        while not pid and time.monotonic() < t_end:
            time.sleep(0.5)
            kids = open(f"/proc/{tool.pid}/task/{tool.pid}/children").read().split()
            pid = next((int(k) for k in kids if os.path.realpath(f"/proc/{k}/exe") == want), 0)
        if not pid: sys.exit("the app did not start")
        time.sleep(6.0)  # the stores loaded and the app quiet
        t0 = now_ms()
        win = xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win:
            subprocess.run([a.binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            time.sleep(3.0)
            win = xdo(env, "search", "--onlyvisible", "--name", "^Mivo$").split("\n")[0]
        if not win: sys.exit("the main window did not appear")
        marks = [("tasks (the window shown)", t0)]
        for p in pages:
            if p == "tasks": continue
            time.sleep(1.0)
            marks.append((p, now_ms()))
            subprocess.run(["xdotool", "mousemove", "--window", win, "80", str(SIDEBAR[p]), "click", "1"], env=env)
            time.sleep(3.0)
        marks.append(("end", now_ms()))
        for (name, since), (_, until) in zip(marks, marks[1:]):
            s = stretches(log, since, until)
            result[name] = (sum(c for _, c in s), max((c for _, c in s), default=0))
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(home, ignore_errors=True)
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", default="build/mivo")
    ap.add_argument("--profile-bench", default="build/bench/bench_scale")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--scale", type=float, default=1.0)
    ap.add_argument("--lang", default="en")
    ap.add_argument("--theme", default="silver")
    ap.add_argument("--pages", default="pomodoro,statistics,settings")
    a = ap.parse_args()
    pages = a.pages.split(",")
    runs = [run_once(a, pages) for _ in range(a.runs)]
    for name in runs[0]:
        cpu = sorted(r[name][0] for r in runs if name in r)
        longest = sorted(r[name][1] for r in runs if name in r)
        print(f"{name:24s} longest stretch CPU: median {longest[len(longest) // 2]:5.1f} ms"
              f" (runs {', '.join(f'{x:.1f}' for x in longest)}); all stretches {cpu[len(cpu) // 2]:.1f} ms")


if __name__ == "__main__":
    main()
