#pragma once
#include "common/Fakes.h"
#include "platform/Prefs.h"
#include <QTemporaryDir>
#include <memory>

// A fresh preferences database in a temporary folder, installed as the app's domain for the life of
// the object.
class TempPrefs {
public:
    TempPrefs();
    ~TempPrefs();
    Prefs &prefs() { return *prefs_; }
    QString path() const { return dir_.filePath(QStringLiteral("mivo.sqlite3")); }
    // Closes and opens the database again, as a restart would.
    void reopen();

private:
    QTemporaryDir dir_;
    std::unique_ptr<Prefs> prefs_;
};

// A fake clock installed as the app's clock for the life of the object.
class TestClock : public FakeClock {
public:
    explicit TestClock(const QDateTime &start) : FakeClock(start) { Clock::install(this); }
    ~TestClock() override { Clock::install(nullptr); }
};

// A fake steady clock installed for the life of the object: what paced work sees a turn spend.
class TestSteadyClock : public FakeSteadyClock {
public:
    TestSteadyClock() { SteadyClock::install(this); }
    ~TestSteadyClock() override { SteadyClock::install(nullptr); }
};

// Scripted dialogs installed for the life of the object.
class TestDialogs : public ScriptedDialogs {
public:
    TestDialogs() { Dialogs::install(this); }
    ~TestDialogs() override { Dialogs::install(nullptr); }
};

// Sets QT_QPA_PLATFORM=offscreen unless a display is given; call from a test's initMain().
void useOffscreenWhenHeadless();
