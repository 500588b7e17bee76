// Quitting while a note is being exported: the export stops within the quit, leaves no file and
// tells nothing.
#include "app/AppDelegate.h"
#include "common/TestEnv.h"
#include "notes/NoteExport.h"
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TstQuitExports : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void aPdfBeingWrittenAtQuitIsStoppedAndLeavesNoFile() {
        TempPrefs t;
        TestDialogs dialogs;
        QTemporaryDir dir;
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Long"));
        for (int i = 0; n.body.size() < 1024 * 1024; ++i)
            n.body += i % 100 ? QStringLiteral("A line of a long note that goes on.\n")
                              : QStringLiteral("A line 🙂\n");
        AppDelegate app;
        QVERIFY(app.launch());
        QObject receiver;
        bool told = false;
        NoteExport::writeLater(dir.filePath(QStringLiteral("n.pdf")), n, NoteExport::Format::pdf, &receiver,
                               [&told](const NoteExport::WriteResult &) { told = true; });
        const int alerts = int(dialogs.alertsShown.size());
        // What the end of the event loop sends, as the quit item's exit() does.
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
        QVERIFY(NoteExport::settle(0)); // the quit waited for it to stop
        QCoreApplication::processEvents();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(!told);
        QCOMPARE(int(dialogs.alertsShown.size()), alerts);
    }
};

QTEST_MAIN(TstQuitExports)
#include "tst_quit_exports.moc"
