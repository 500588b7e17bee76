// Preloaded by scripts/sanitize.sh --thread. Qt starts a process (QProcess) with clone(CLONE_VM |
// CLONE_VFORK): the child runs in the parent's memory until it execs. ThreadSanitizer's clone
// takes every clone for a fork and prepares the child as one, in that shared memory: from then on
// the parent's thread ignores its own reads, writes and locks, and no race it takes part in is
// reported. Such a clone goes straight to the C library; any other still goes through the checker.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <sys/types.h>

typedef int (*clone_fn)(int (*)(void *), void *, int, void *, ...);

int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...) {
    va_list ap;
    va_start(ap, arg);
    pid_t *parent_tid = va_arg(ap, pid_t *);
    void *tls = va_arg(ap, void *);
    pid_t *child_tid = va_arg(ap, pid_t *);
    va_end(ap);
    static clone_fn libc, checker;
    if (!libc) {
        libc = (clone_fn)dlsym(dlopen("libc.so.6", RTLD_NOLOAD | RTLD_LAZY), "clone");
        checker = (clone_fn)dlsym(RTLD_NEXT, "clone");
    }
    return ((flags & CLONE_VM) ? libc : checker)(fn, stack, flags, arg, parent_tid, tls, child_tid);
}
