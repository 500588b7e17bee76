// Returns from main while a job that quitting does not wait for (a file read) is still at work, and
// lets that work end only once the program's static objects have been destroyed, as the process's
// end may: its job is taken out of the registry then. Exits 0 once the job has freed what it made; a
// sanitizer build reports any access to memory destroyed by then.
#include "platform/Background.h"
#include <QCoreApplication>
#include <condition_variable>
#include <mutex>

namespace {
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    bool dropped = false;
};
Gate *const g_gate = new Gate; // never destroyed: the worker uses it to the end

// Built before the library's statics (this file is linked first), so destroyed after them.
struct AfterStatics {
    ~AfterStatics() {
        std::unique_lock l(g_gate->m);
        g_gate->open = true;
        g_gate->cv.notify_all();
        g_gate->cv.wait(l, [] { return g_gate->dropped; });
    }
} g_afterStatics;
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QObject receiver;
    Background::start(
        &receiver,
        [] {
            std::unique_lock l(g_gate->m);
            g_gate->cv.wait(l, [] { return g_gate->open; });
        },
        [] {},
        [] {
            std::lock_guard l(g_gate->m);
            g_gate->dropped = true;
            g_gate->cv.notify_all();
        },
        Background::Options(QStringLiteral("a file read"), Background::AtQuit::abandon));
    return 0;
}
