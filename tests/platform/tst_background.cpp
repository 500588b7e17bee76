// Work handed to a worker comes back on its receiver's thread, never to a receiver that is gone (what
// it made is then freed away from the window's thread), and quitting waits for it only as long as
// its deadline allows, told what is still running.
#include "common/Fakes.h"
#include "common/HeldPool.h"
#include "common/Instrumented.h"
#include "platform/Background.h"
#include <QProcess>
#include <QThread>
#include <QtTest>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {
// What a job made; says on which thread it was freed.
struct Made {
    std::shared_ptr<std::atomic<QThread *>> freedOn;
    explicit Made(std::shared_ptr<std::atomic<QThread *>> on) : freedOn(std::move(on)) {}
    Made(Made &&) = default;
    ~Made() {
        if (freedOn) *freedOn = QThread::currentThread();
    }
};

struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    bool reached = false;
    void pass(bool waits = true) {
        std::unique_lock l(m);
        reached = true;
        cv.notify_all();
        if (waits) cv.wait(l, [this] { return open; });
    }
    void waitReached() {
        std::unique_lock l(m);
        cv.wait(l, [this] { return reached; });
    }
    void letThrough() {
        std::lock_guard l(m);
        open = true;
        cv.notify_all();
    }
};
} // namespace

class TestBackground : public QObject {
    Q_OBJECT
private slots:
    void aResultComesBackOnTheReceiversThreadOnce() {
        QThread other;
        other.start();
        QObject there;
        there.moveToThread(&other);
        auto on = std::make_shared<std::atomic<QThread *>>(nullptr);
        auto calls = std::make_shared<std::atomic<int>>(0);
        Background::run<int>(
            &there, [] { return 7; },
            [on, calls](int v) {
                if (v == 7) *on = QThread::currentThread();
                ++*calls;
            });
        QTRY_COMPARE(on->load(), &other);
        other.quit();
        other.wait();
        QCOMPARE(calls->load(), 1);

        // Taken now, on the receiver's thread: run here when no worker has taken it up.
        QObject here;
        HeldPool held;
        QThread *ranOn = nullptr;
        int got = 0;
        const auto job = Background::run<int>(
            &here,
            [&ranOn] {
                ranOn = QThread::currentThread();
                return 3;
            },
            [&got](int v) { got = v; });
        Background::finish(job);
        QCOMPARE(got, 3);
        QCOMPARE(ranOn, QThread::currentThread());
        QVERIFY(Background::settled(job));
    }

    // A receiver that goes while the work runs, or once it has ended but before its result came back,
    // gets nothing; what the work made is freed on a worker all the same.
    void nothingComesBackToAReceiverThatIsGone() {
        for (const bool whileRunning : {true, false}) {
            auto receiver = std::make_unique<QObject>();
            auto gate = std::make_shared<Gate>();
            auto freedOn = std::make_shared<std::atomic<QThread *>>(nullptr);
            bool called = false;
            Background::run<Made>(
                receiver.get(),
                [gate, freedOn, whileRunning] {
                    gate->pass(whileRunning);
                    return Made(freedOn);
                },
                [&called](Made) { called = true; });
            gate->waitReached(); // no event is handled meanwhile
            receiver.reset();
            gate->letThrough();
            QTRY_VERIFY(freedOn->load() != nullptr);
            QVERIFY(freedOn->load() != QThread::currentThread());
            QCoreApplication::processEvents();
            QVERIFY(!called);
        }

        // Abandoned before a worker took it up: the work never runs.
        QObject receiver;
        bool ran = false;
        {
            HeldPool held;
            const auto job = Background::run<int>(
                &receiver,
                [&ran] {
                    ran = true;
                    return 1;
                },
                [](int) { QFAIL("handed back after it was abandoned"); });
            Background::abandon(job);
        }
        QCoreApplication::processEvents();
        QVERIFY(!ran);
    }

    // Quitting waits for the jobs it must until its deadline, no longer, and hands back what came in
    // meanwhile, oldest first; what runs on is named.
    void quittingWaitsForItsJobsUntilTheDeadline() {
        QObject receiver;
        auto gate = std::make_shared<Gate>();
        std::vector<int> handedBack;
        const auto save = [&](int n, bool stalls) {
            Background::run<int>(
                &receiver,
                [gate, n, stalls] {
                    if (stalls) gate->pass();
                    return n;
                },
                [&handedBack](int v) { handedBack.push_back(v); },
                {QStringLiteral("save %1").arg(n), Background::AtQuit::handBack, {}});
        };
        save(1, true);
        save(2, false);
        Background::run<int>(
            &receiver, [] { return 0; }, [](int) {},
            {QStringLiteral("read"), Background::AtQuit::abandon, {}});
        gate->waitReached();
        {
            SteppedTime time;
            const qint64 start = time.nowMs();
            const QStringList running = Background::finishAll(Deadline(1000), Background::AtQuit::handBack);
            QCOMPARE(running, (QStringList{"save 1", "save 2"}));
            QCOMPARE(time.nowMs() - start, 1000); // it waited for all it was given
            QVERIFY(handedBack.empty());          // the older save is still running: none overtakes it
        }
        gate->letThrough();
        QVERIFY(Background::finishAll(Deadline(60'000), Background::AtQuit::handBack).isEmpty());
        QCOMPARE(handedBack, (std::vector<int>{1, 2})); // in this call, not from the event loop
        QCoreApplication::processEvents();
        QCOMPARE(handedBack.size(), size_t(2));
    }

    // At the deadline, a save no worker has taken up is given back to its caller to keep (its work
    // never runs, nothing of it is handed back, it is not named); one a worker is running, or one its
    // caller cannot keep, is told unfinished and named.
    void quittingKeepsTheSavesNoWorkerTookUp() {
        QObject receiver;
        auto gate = std::make_shared<Gate>();
        QStringList events;
        auto ran = std::make_shared<std::atomic<int>>(0);
        const auto save = [&](const QString &name, bool stalls, bool keeps) {
            Background::run<int>(
                &receiver,
                [gate, stalls, ran] {
                    if (stalls) gate->pass();
                    else ++*ran;
                    return 0;
                },
                [&events, name](int) { events << name + QStringLiteral(" handed back"); },
                {name, Background::AtQuit::handBack, {}, [&events, name] { events << name + QStringLiteral(" lost"); },
                 [&events, name, keeps] {
                     events << name + QStringLiteral(" kept");
                     return keeps;
                 }});
        };
        save(QStringLiteral("running"), true, true);
        gate->waitReached();
        {
            HeldPool pool; // what comes after waits for a worker
            save(QStringLiteral("queued"), false, true);
            save(QStringLiteral("unkept"), false, false);
            SteppedTime time;
            const QStringList named = Background::finishAll(Deadline(1000), Background::AtQuit::handBack);
            QCOMPARE(named, (QStringList{"running", "unkept"}));
            QCOMPARE(events, (QStringList{"running lost", "queued kept", "unkept kept", "unkept lost"}));
            gate->letThrough();
        }
        Background::pool().waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(ran->load(), 0); // the work given back never ran
        QVERIFY(!events.contains(QStringLiteral("queued handed back")));
        QVERIFY(!events.contains(QStringLiteral("unkept handed back")));
    }

    // A save a worker has begun but that has not asked yet when the quit gives up on it (the worker
    // was held up between the two): it is named, and when it asks it gives up, so nothing of it runs
    // on past the quit or is handed back.
    void aSaveBegunButNotAskingYetGivesUpOnceTheQuitIsOver() {
        QObject receiver;
        auto gate = std::make_shared<Gate>();
        auto ranOn = std::make_shared<std::atomic<bool>>(false);
        bool handedBack = false, lost = false;
        Background::run<int>(
            &receiver,
            [gate, ranOn] {
                gate->pass(); // begun, not asked yet
                if (Background::hurried()) return 0;
                *ranOn = true; // the save made past the quit
                return 1;
            },
            [&handedBack](int) { handedBack = true; },
            {QStringLiteral("held save"), Background::AtQuit::handBack, {}, [&lost] { lost = true; },
             [] { return true; }});
        gate->waitReached();
        {
            SteppedTime time;
            QCOMPARE(Background::finishAll(Deadline(1000), Background::AtQuit::handBack),
                     QStringList{QStringLiteral("held save")});
        }
        QVERIFY(lost); // told, as one that never asks
        gate->letThrough();
        Background::pool().waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(!ranOn->load());
        QVERIFY(!handedBack);
    }

    // The process ends without waiting for work that touches nothing the exit takes away (a file
    // read): that work may end while the program's static objects are being destroyed, and taking its
    // job out of the registry then must touch none of them. (A sanitizer build reports the access.)
    void workMayEndAfterTheProgramsStaticsAreGone() {
        QProcess child;
        child.start(QStringLiteral(WORK_PAST_EXIT), {});
        QVERIFY(child.waitForFinished(scaledWaitMs(60'000)));
        // What it said (a sanitizer's report) goes into this test's log, to be judged with the rest.
        const QByteArray said = child.readAllStandardError();
        std::fwrite(said.constData(), 1, size_t(said.size()), stderr);
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }
};

QTEST_MAIN(TestBackground)
#include "tst_background.moc"
