"""A private X server with a tray host, for the benchmarks and tools that drive the real app."""
import os, subprocess, sys, time


def start_x(procs, env, pause=1.0):
    """Starts Xvfb and jwm on it, adds both to procs (for the caller to end) and sets env's DISPLAY.

    The server takes a free display itself and says which: runs started side by side (other
    worktrees') never pick the same one."""
    rfd, wfd = os.pipe()
    procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(wfd,)))
    os.close(wfd)
    with os.fdopen(rfd) as r:
        number = r.readline().strip()
    if not number: sys.exit("Xvfb did not start")
    env["DISPLAY"] = f":{number}"
    time.sleep(pause)
    procs.append(subprocess.Popen(["jwm"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    time.sleep(pause)


def end(procs):
    """Ends what start_x (and the caller) started, last first: asked to stop, then killed after 8 s."""
    for p in reversed(procs):
        p.terminate()
        try: p.wait(timeout=8)
        except subprocess.TimeoutExpired: p.kill(); p.wait()


def end_app(pid, tool):
    """Ends the app (pid, may be None) with SIGTERM and waits for the tool that started it (the stall
    logger, which waits for the app); an app still there after 30 s is killed, then the tool."""
    if pid:
        try: os.kill(pid, 15)
        except OSError: pass
    try: tool.wait(timeout=30)
    except subprocess.TimeoutExpired:
        if pid:
            try: os.kill(pid, 9)
            except OSError: pass
        tool.kill(); tool.wait()
