#include "platform/UnixSignals.h"

#include <QSocketNotifier>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
// When the last signal came, in ms of the monotonic clock (0: none yet).
std::atomic<qint64> g_signalledMs = 0;
static_assert(std::atomic<qint64>::is_always_lock_free);

qint64 monotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts); // safe in a signal handler
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

void onSignal(int signo) {
    g_signalledMs = monotonicMs();
    const unsigned char b = static_cast<unsigned char>(signo);
    [[maybe_unused]] ssize_t n = ::write(g_fds[0], &b, 1);
}
} // namespace

UnixSignals::UnixSignals(QObject *parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0) return;
    ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char b = 0;
        if (::read(g_fds[1], &b, 1) != 1) return;
        const qint64 at = g_signalledMs;
        emit terminationRequested(int(b), at > 0 ? std::max<qint64>(0, monotonicMs() - at) : 0);
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    // Past a file-size limit a write should fail and be reported like a full disk, not kill the
    // process halfway through saving.
    ::signal(SIGXFSZ, SIG_IGN);
}

UnixSignals::~UnixSignals() {
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
}
