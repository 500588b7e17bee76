#pragma once
// An X server of a test's own (Xvfb), for what is handed between X clients.
#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

// An X server of the test's own, on a display it picks free itself.
class OwnServer {
public:
    OwnServer() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        int fds[2];
        if (xvfb.isEmpty() || ::pipe(fds) != 0) return;
        // The server writes its display's number to the pipe once it takes connections. It is not
        // reset when its last client leaves (as each owner and read here does): connections made
        // while it resets are refused.
        server_.setProgram(xvfb);
        server_.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("64x64x24")});
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The server ends with the test, however the test ends (a sanitizer's abort too): left
        // running, it would hold the test's output open and the test would only end by its time limit.
        server_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        server_.start();
        ::close(fds[1]);
        QByteArray number;
        for (char ch; number.size() < 16;) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 60'000) != 1 || ::read(fds[0], &ch, 1) != 1) break; // the server died
            if (ch == '\n') {
                display_ = ':' + number;
                break;
            }
            number += ch;
        }
        ::close(fds[0]);
    }
    ~OwnServer() {
        server_.terminate();
        server_.waitForFinished(30'000);
    }
    // Empty when there is none.
    QByteArray display() const { return display_; }

private:
    QProcess server_;
    QByteArray display_;
};
