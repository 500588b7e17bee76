#include "common/TestEnv.h"

TempPrefs::TempPrefs() {
    prefs_ = std::make_unique<Prefs>(path());
    Prefs::install(prefs_.get());
}

TempPrefs::~TempPrefs() {
    Prefs::install(nullptr);
    prefs_.reset();
}

void TempPrefs::reopen() {
    Prefs::install(nullptr);
    prefs_.reset();
    prefs_ = std::make_unique<Prefs>(path());
    Prefs::install(prefs_.get());
}

void useOffscreenWhenHeadless() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
