"""When the window's thread first puts pixels on screen after an action, and its CPU until then, from outside.

A small preloaded library (compiled once into $TMPDIR with cc) logs, on the process's main thread, each return
of poll()/ppoll() (the event loop waking: "r <monotonic ms> <thread CPU ms>") and each request that puts a
window's pixels on the X server (xcb_shm_put_image, xcb_put_image, xcb_copy_area: "p <ms> <CPU ms>"). The first
paint after an action at t0 is the first "p" after the first wake after t0; its cost is the thread's CPU between
the two, whatever waits (a worker's document, a queued turn) lie between.

Used beside ../shared/tools/window-stalls: wrap(cmd, log) gives a command that runs cmd with both libraries.
"""
import os, subprocess, tempfile

SRC = r'''
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
typedef struct { unsigned int sequence; } cookie_t;
static int fd = -2;
static double mono(void) { struct timespec t; clock_gettime(CLOCK_MONOTONIC, &t); return t.tv_sec * 1e3 + t.tv_nsec / 1e6; }
static double cpu(void) { struct timespec t; clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t); return t.tv_sec * 1e3 + t.tv_nsec / 1e6; }
/* The platform plugin is opened with its own scope, so its xcb libraries are not next after this one. */
static void *real_of(const char *lib, const char *name) {
    void *f = dlsym(RTLD_NEXT, name);
    if (f) return f;
    void *h = dlopen(lib, RTLD_NOW | RTLD_NOLOAD);
    if (!h) h = dlopen(lib, RTLD_NOW);
    return h ? dlsym(h, name) : NULL;
}
static void note(char kind) {
    if (syscall(SYS_gettid) != getpid()) return;
    if (fd == -2) { const char *p = getenv("PAINT_PROBE_LOG"); fd = p ? open(p, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1; }
    if (fd < 0) return;
    char b[80]; int n = snprintf(b, sizeof b, "%c %.3f %.3f\n", kind, mono(), cpu());
    if (write(fd, b, n) < 0) {}
}
int poll(struct pollfd *f, nfds_t n, int t) {
    static int (*real)(struct pollfd *, nfds_t, int); if (!real) real = dlsym(RTLD_NEXT, "poll");
    int r = real(f, n, t); note('r'); return r;
}
int ppoll(struct pollfd *f, nfds_t n, const struct timespec *t, const sigset_t *s) {
    static int (*real)(struct pollfd *, nfds_t, const struct timespec *, const sigset_t *);
    if (!real) real = dlsym(RTLD_NEXT, "ppoll");
    int r = real(f, n, t, s); note('r'); return r;
}
cookie_t xcb_shm_put_image(void *c, uint32_t d, uint32_t gc, uint16_t tw, uint16_t th, uint16_t sx, uint16_t sy,
                           uint16_t sw, uint16_t sh, int16_t dx, int16_t dy, uint8_t depth, uint8_t format,
                           uint8_t send_event, uint32_t seg, uint32_t offset) {
    static cookie_t (*real)(void *, uint32_t, uint32_t, uint16_t, uint16_t, uint16_t, uint16_t, uint16_t, uint16_t,
                            int16_t, int16_t, uint8_t, uint8_t, uint8_t, uint32_t, uint32_t);
    if (!real) real = real_of("libxcb-shm.so.0", "xcb_shm_put_image");
    note('p');
    return real(c, d, gc, tw, th, sx, sy, sw, sh, dx, dy, depth, format, send_event, seg, offset);
}
cookie_t xcb_put_image(void *c, uint8_t format, uint32_t d, uint32_t gc, uint16_t w, uint16_t h, int16_t dx, int16_t dy,
                       uint8_t pad, uint8_t depth, uint32_t len, const uint8_t *data) {
    static cookie_t (*real)(void *, uint8_t, uint32_t, uint32_t, uint16_t, uint16_t, int16_t, int16_t, uint8_t,
                            uint8_t, uint32_t, const uint8_t *);
    if (!real) real = real_of("libxcb.so.1", "xcb_put_image");
    note('p');
    return real(c, format, d, gc, w, h, dx, dy, pad, depth, len, data);
}
cookie_t xcb_copy_area(void *c, uint32_t s, uint32_t d, uint32_t gc, int16_t sx, int16_t sy, int16_t dx, int16_t dy,
                       uint16_t w, uint16_t h) {
    static cookie_t (*real)(void *, uint32_t, uint32_t, uint32_t, int16_t, int16_t, int16_t, int16_t, uint16_t, uint16_t);
    if (!real) real = real_of("libxcb.so.1", "xcb_copy_area");
    note('p');
    return real(c, s, d, gc, sx, sy, dx, dy, w, h);
}
'''


def library():
    d = os.path.join(tempfile.gettempdir(), f"paint-probe-{os.getuid()}")
    so = os.path.join(d, "paint-probe-2.so")
    if not os.path.exists(so):
        os.makedirs(d, exist_ok=True)
        src = os.path.join(d, "paint-probe.c")
        open(src, "w").write(SRC)
        subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", so + ".tmp", src, "-ldl"], check=True)
        os.replace(so + ".tmp", so)
    return so


def wrap(cmd):
    """cmd run with the probe preloaded after whatever the caller preloads (the stall tool's library); the
    log is the PAINT_PROBE_LOG of the environment."""
    return ["sh", "-c", f'LD_PRELOAD="${{LD_PRELOAD:+$LD_PRELOAD:}}{library()}" exec "$@"', "sh", *cmd]


def read(log):
    wakes, paints = [], []
    try:
        for line in open(log):
            p = line.split()
            if len(p) == 3:
                (wakes if p[0] == "r" else paints).append((float(p[1]), float(p[2])))
    except OSError:
        pass
    return wakes, paints


def first_paint(log, t0, until):
    """(CPU ms of the window's thread from the first wake after t0 to the first paint after it, wall ms), or
    (-1, -1) when nothing was painted before until."""
    wakes, paints = read(log)
    w = next((x for x in wakes if x[0] >= t0), None)
    if not w: return (-1.0, -1.0)
    p = next((x for x in paints if x[0] >= w[0]), None)
    if not p or p[0] >= until: return (-1.0, -1.0)
    return (p[1] - w[1], p[0] - w[0])
