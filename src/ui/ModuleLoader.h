#pragma once
#include <QString>

class QObject;

// Loads one of our own modules: a Qt plugin built beside the app, holding a library the app must
// not link because it is costly to load at start-up (the web engine, the audio back end). Looks
// beside the program, then one folder up (test and benchmark programs live in sub-folders of the
// build), then in the installed module folder (lib/<arch>/mivo under the program's prefix). The module stays loaded until the process ends. Returns its entry object, or nullptr
// with the reason in *problem.
QObject *loadAppModule(const QString &fileName, QString *problem);
