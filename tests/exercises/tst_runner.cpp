#include "common/NoWebPages.h"
#include "common/TestEnv.h"
#include "common/TinyServer.h"
#include <QBuffer>
#include "exercises/BuiltInExercises.h"
#include "exercises/BreathingCircleView.h"
#include "exercises/ExerciseAnimView.h"
#include "exercises/ExerciseHistory.h"
#include "exercises/ExerciseRunnerPanel.h"
#include "exercises/YouTubeBrowserWindow.h"
#include "exercises/RunnerContentView.h"
#include "exercises/RunnerLogic.h"
#include "exercises/RunnerTexts.h"
#include "platform/Keys.h"
#include "ui/RingView.h"
#include "ui/TintButton.h"
#include "ui/WebModule.h"
#include <QImageReader>
#include <QLabel>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>

namespace {
// Counts the events of one type a watched object receives.
class EventCounter : public QObject {
public:
    EventCounter(QObject *watched, QEvent::Type type, int *count) : type_(type), count_(count) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == type_) ++*count_;
        return false;
    }

private:
    QEvent::Type type_;
    int *count_;
};

Exercise ex(const QString &name, std::initializer_list<qint64> secs) {
    Exercise e;
    e.id = name.toLower();
    e.name = name;
    e.emoji = QStringLiteral("🙂");
    e.category = QStringLiteral("Other");
    int i = 0;
    for (qint64 s : secs) {
        ++i;
        e.steps.push_back({QString::number(i), name + QString::number(i), QStringLiteral("do it"), s, {}, {}, {}});
    }
    return e;
}
std::vector<ExerciseRecord> history() {
    return ExerciseHistoryJson::decode(Prefs::get().data(QString::fromLatin1(kExerciseHistory))).value_or(
        std::vector<ExerciseRecord>{});
}
} // namespace

class TstRunner : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    std::unique_ptr<TestClock> clock;
    std::unique_ptr<RecordingSound> sound;

    ExerciseRunnerPanel *open(const std::vector<Exercise> &run, qint64 step = 0,
                              std::optional<qint64> remaining = std::nullopt) {
        return new ExerciseRunnerPanel(run, step, remaining, nullptr);
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        prefs = std::make_unique<TempPrefs>();
        ExerciseHistory::resetForTests();
        clock = std::make_unique<TestClock>(QDateTime(QDate(2026, 3, 14), QTime(9, 0)));
        sound = std::make_unique<RecordingSound>();
    }
    void cleanup() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        sound.reset();
        clock.reset();
        prefs.reset();
    }

    void startStepAndRemainingTime() {
        QScopedPointer<ExerciseRunnerPanel> a(open({ex("A", {10, 10, 10})}, 7));
        QCOMPARE(a->currentStep(), 2); // past the end: the last step
        QScopedPointer<ExerciseRunnerPanel> b(open({ex("B", {10, 10})}, -4));
        QCOMPARE(b->currentStep(), 0); // a negative start is the first step
        a->close();
        b->close();

        // Resumed with 25 s of 30 left: a sixth done from the first tick, ends 25 s later.
        QScopedPointer<ExerciseRunnerPanel> c(open({ex("C", {30, 5})}, 0, 25));
        clock->advance(0.04);
        QVERIFY(qAbs(c->content()->progressRing->progress() - 5.0 / 30) < 0.01);
        clock->advance(24.9);
        QVERIFY(!sound->played.contains("Ping"));
        clock->advance(0.1);
        QCOMPARE(sound->played, QStringList{"Ping"});
        clock->advance(0.6);
        QCOMPARE(c->currentStep(), 1);

        // 40 s left of a 30-s step: the full 30 s.
        QScopedPointer<ExerciseRunnerPanel> d(open({ex("D", {30, 5})}, 0, 40));
        clock->advance(29.9);
        QCOMPARE(d->currentStep(), 0);
        QCOMPARE(d->remaining(), 1);
        QVERIFY(d->tickerRunning());
    }

    void pauseDropsTheFraction() {
        QScopedPointer<ExerciseRunnerPanel> p(open({ex("P", {30, 5})}));
        clock->advance(12.7);
        p->togglePause();
        QVERIFY(p->isPaused());
        QCOMPARE(p->remaining(), 18);
        QVERIFY(!p->tickerRunning());
        clock->advance(100);
        QCOMPARE(p->currentStep(), 0);
        p->togglePause();
        clock->advance(17.9);
        QCOMPARE(p->currentStep(), 0);
        clock->advance(0.2 + 0.6);
        QCOMPARE(p->currentStep(), 1);
        QCOMPARE(p->remaining(), 5);
    }

    void pauseInTheGapShowsTheNextStepPaused() {
        QScopedPointer<ExerciseRunnerPanel> p(open({ex("G", {2, 8})}));
        clock->advance(2.05);
        QCOMPARE(sound->played.size(), 1);
        p->togglePause();
        clock->advance(0.6);
        QCOMPARE(p->currentStep(), 1);
        QVERIFY(p->isPaused());
        QCOMPARE(p->remaining(), 8);
        clock->advance(20);
        QCOMPARE(p->currentStep(), 1);
    }

    // The step generation: stale delayed work does nothing.
    void nextInTheGapSkipsOneStepOnly() {
        QScopedPointer<ExerciseRunnerPanel> p(open({ex("N", {1, 10, 10})}));
        clock->advance(1.05);
        p->skipStep(); // in the gap
        QCOMPARE(p->currentStep(), 1);
        clock->advance(0.7); // the old pending advance must not move on again
        QCOMPARE(p->currentStep(), 1);
    }

    void nextInTheGapOfTheLastStepCompletesOnce() {
        auto *p = open({ex("Last", {1})});
        QPointer<ExerciseRunnerPanel> alive(p);
        int completes = 0;
        p->onExerciseComplete = [&] { ++completes; };
        clock->advance(1.05);
        p->skipStep();
        QVERIFY(p->finalOverlayShown());
        clock->advance(1);
        QCOMPARE(completes, 1);
        QCOMPARE(history().size(), size_t(1));
        p->skipStep(); // covered by the overlay: nothing
        p->togglePause();
        QVERIFY(!p->isPaused());
        QCOMPARE(completes, 1);
        p->doClose();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!alive);
    }

    void fadeFillsInOnlyTheCurrentStep() {
        QScopedPointer<ExerciseRunnerPanel> p(open({ex("F", {10, 10, 10})}));
        QVERIFY(p->fillPending());
        p->skipStep();
        p->skipStep();
        clock->advance(0.3);
        QCOMPARE(p->content()->stepNameLbl->text(), QStringLiteral("F3"));
        QCOMPARE(p->content()->stepNumLbl->text(), QStringLiteral("Step 3 of 3"));
        // Opacity effects (drawn through an offscreen picture) exist only while something fades:
        // between fades the texts, the visual and the ring draw directly.
        QVERIFY(p->content()->stepNameLbl->graphicsEffect());
        clock->advance(0.4);
        for (QWidget *w : p->content()->findChildren<QWidget *>())
            QVERIFY2(!w->graphicsEffect(), qPrintable(w->metaObject()->className()));
    }

    void closeCancelsEverythingPending() {
        {
            auto *p = open({ex("Gap", {1, 5})});
            QPointer<ExerciseRunnerPanel> alive(p);
            clock->advance(1.05); // in the gap
            p->close();
            QVERIFY(!p->tickerRunning());
            clock->advance(2);
            QCOMPARE(p->currentStep(), 0);
            QCOMPARE(clock->activeTickers(), 0);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!alive);
        }
        {
            auto *p = open({ex("One", {1}), ex("Two", {3})});
            p->skipStep(); // between exercises: countdown
            QVERIFY(p->overlay());
            p->close();
            clock->advance(5);
            QCOMPARE(p->exercise().name, QStringLiteral("One"));
            QCOMPARE(clock->activeTickers(), 0);
            QCOMPARE(history().size(), size_t(0));
        }
    }

    void queueRecordsOnlyTheLastExercise() {
        QScopedPointer<ExerciseRunnerPanel> p(open({ex("One", {5}), ex("Two", {5}), ex("Three", {20, 20, 20})}));
        int completes = 0;
        p->onExerciseComplete = [&] { ++completes; };
        // The window is named as its header reads, never after the program.
        QCOMPARE(p->window()->windowTitle(), QStringLiteral("🙂  One"));
        p->skipStep();
        QCOMPARE(completes, 1);
        QCOMPARE(p->window()->windowTitle(), QStringLiteral("«One» ") + RunnerTexts::exerciseFinished());
        QCOMPARE(p->countdownLabel()->text(), QStringLiteral("3"));
        QCOMPARE(sound->played, QStringList{"Ping"});
        p->skipStep(); // covered: nothing
        QCOMPARE(p->exercise().name, QStringLiteral("One"));
        clock->advance(2.0);
        QCOMPARE(p->countdownLabel()->text(), QStringLiteral("1"));
        QCOMPARE(p->exercise().name, QStringLiteral("One"));
        clock->advance(1.0);
        QCOMPARE(p->exercise().name, QStringLiteral("Two"));
        QVERIFY(!p->isPaused());
        QVERIFY(p->tickerRunning());
        QVERIFY(!p->overlay());
        p->skipStep();
        clock->advance(3.0);
        QCOMPARE(p->exercise().name, QStringLiteral("Three"));
        p->skipStep();
        p->skipStep();
        clock->advance(20.05); // the last step runs out by time
        clock->advance(0.6);
        QVERIFY(p->finalOverlayShown());
        QCOMPARE(p->window()->windowTitle(), RunnerTexts::runFinished());
        QCOMPARE(completes, 3);
        QCOMPARE(sound->played.last(), QStringLiteral("Glass"));
        const auto h = history();
        QCOMPARE(h.size(), size_t(1));
        QCOMPARE(h[0].name, QStringLiteral("Three"));
        QCOMPARE(h[0].durationSecs, 60); // planned, although two steps were skipped
        QCOMPARE(h[0].day, 14);
        QCOMPARE(h[0].month, 3);
        QCOMPARE(h[0].year, 2026);
    }

    void anExerciseWithoutStepsFinishesAtOnce() {
        QScopedPointer<ExerciseRunnerPanel> p(open({ex("Empty", {})}));
        int completes = 0;
        p->onExerciseComplete = [&] { ++completes; };
        QCoreApplication::processEvents();
        QVERIFY(p->finalOverlayShown());
        QCOMPARE(completes, 1);
        QCOMPARE(history().size(), size_t(1));
        QCOMPARE(history()[0].durationSecs, 0);
    }

    void historyDocument() {
        Exercise e = ex("Neck \"roll\"", {20, 20});
        recordExerciseSession(e);
        recordExerciseSession(e);
        const QByteArray bytes = Prefs::get().data(QString::fromLatin1(kExerciseHistory));
        static const QRegularExpression golden(QStringLiteral(
            R"(^\[\{"id":"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}","name":"Neck \\"roll\\"",)"
            R"("emoji":"🙂","day":14,"month":3,"year":2026,"durationSecs":40\},\{.*\}\]$)"));
        QVERIFY2(golden.match(QString::fromUtf8(bytes)).hasMatch(), bytes.constData());
        const auto h = history();
        QCOMPARE(h.size(), size_t(2));
        QVERIFY(h[0].id != h[1].id);

        // Hostile step lengths: the planned length saturates instead of wrapping round.
        recordExerciseSession(ex("Huge", {std::numeric_limits<qint64>::max(), 5}));
        QCOMPARE(history().back().durationSecs, std::numeric_limits<qint64>::max());
    }

    void anUnreadableHistoryIsKeptAside() {
        const QString key = QString::fromLatin1(kExerciseHistory);
        Prefs::get().setData(key, "[{\"id\":1}]");
        ExerciseHistory::resetForTests(); // loads it as a launch would
        recordExerciseSession(ex("New", {5}));
        QCOMPARE(history().size(), size_t(1));
        bool keptAside = false;
        for (const QString &k : Prefs::get().keys())
            if (k != key && Prefs::get().data(k) == "[{\"id\":1}]") keptAside = true;
        QVERIFY(keptAside);
    }

    void layoutGeometry_data() {
        QTest::addColumn<double>("w");
        QTest::addColumn<double>("h");
        QTest::addColumn<double>("ring");
        QTest::addColumn<double>("font");
        QTest::addColumn<double>("media");
        QTest::addColumn<double>("card");
        QTest::newRow("560x720") << 560.0 << 720.0 << 216.0 << 54.0 << 192.0 << 180.0;
        QTest::newRow("380x480") << 380.0 << 480.0 << 160.0 << 48.0 << 8.0 << 8.0;
        QTest::newRow("negative media") << 400.0 << 300.0 << 160.0 << 48.0 << 0.0 << 0.0;
    }
    void layoutGeometry() {
        QFETCH(double, w);
        QFETCH(double, h);
        const auto l = RunnerLogic::RunnerLayout::compute(w, h);
        QVERIFY(l.valid);
        QTEST(l.ring, "ring");
        QTEST(l.timeFont, "font");
        QTEST(l.media, "media");
        QTEST(l.card, "card");
        QVERIFY(!RunnerLogic::RunnerLayout::compute(10, 500).valid);

        RunnerContentView cv;
        cv.resize(int(w), int(h));
        cv.show();
        QCoreApplication::processEvents();
        QCOMPARE(cv.progressRing->width(), int(l.ring));
        QCOMPARE(cv.breatheView->height(), int(std::min(0.55 * w, l.media)));
        QCOMPARE(cv.closeBtn->geometry().bottom(), int(h) - 10 - 1);
    }

    void builtInVisuals() {
        const auto lib = BuiltInExercises::make(AppLang::en);
        auto find = [&](const char *id) {
            for (const Exercise &e : lib)
                if (e.id == QLatin1String(id)) return e;
            return Exercise{};
        };
        using RunnerLogic::animForBuiltIn;
        QCOMPARE(animForBuiltIn(find("builtin-neck"), 1).second, AnimKind::neckTiltLeft);
        QCOMPARE(animForBuiltIn(find("builtin-neck"), 3).second, AnimKind::none);
        QCOMPARE(animForBuiltIn(find("builtin-neck"), 3).first, BreathePhase::none);
        QCOMPARE(animForBuiltIn(find("builtin-wrist"), 2).second, AnimKind::fingerSpread);
        QCOMPARE(animForBuiltIn(find("builtin-back"), 0).second, AnimKind::catCow);
        QVERIFY(animForBuiltIn(find("builtin-box"), 0).first != BreathePhase::none);

        // A user's copy of a built-in (not built in) shows texts only; the breathing one its circle.
        Exercise copy = find("builtin-neck");
        copy.isBuiltIn = false;
        QScopedPointer<ExerciseRunnerPanel> p(open({copy}));
        p->window()->show();
        clock->advance(0.3);
        QVERIFY(!p->content()->exerciseAnim->isVisible());
        QScopedPointer<ExerciseRunnerPanel> q(open({find("builtin-neck")}));
        q->window()->show();
        clock->advance(0.3);
        QVERIFY(q->content()->exerciseAnim->isVisible());
        QCOMPARE(q->content()->exerciseAnim->kind(), AnimKind::neckTiltRight);
        QVERIFY(q->content()->exerciseAnim->frameTimerActive());
        q->window()->hide(); // frames only while visible
        QVERIFY(!q->content()->exerciseAnim->frameTimerActive());
    }

    // Step pictures by address: http and https only, at most 10 MiB, and only for the step shown.
    void imageRequests() {
        QImage png(8, 8, QImage::Format_RGB32);
        png.fill(Qt::red);
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        png.save(&buf, "PNG");
        TinyServer small(200, bytes);
        TinyServer huge(200, QByteArray(11 * 1024 * 1024, 'x'));
        auto withImage = [](const QString &url) {
            Exercise e = ex("Img", {10, 10});
            e.steps[0].imageURL = url;
            return e;
        };
        {
            QScopedPointer<ExerciseRunnerPanel> p(open({withImage(small.root().toString() + "a.png")}));
            clock->advance(0.3);
            QVERIFY(p->content()->imageView->isVisibleTo(p->window()));
            QTRY_VERIFY(!p->content()->imageView->image().isNull());
        }
        {
            QScopedPointer<ExerciseRunnerPanel> p(open({withImage(huge.root().toString() + "big.png")}));
            clock->advance(0.3);
            QTRY_VERIFY(!huge.request.isEmpty());
            QTest::qWait(400);
            QVERIFY(p->content()->imageView->image().isNull());
        }
        {
            QScopedPointer<ExerciseRunnerPanel> p(open({withImage(small.root().toString() + "late.png")}));
            clock->advance(0.3);
            p->skipStep(); // the picture arrives for a step no longer shown
            small.request.clear();
            QTest::qWait(400);
            QVERIFY(p->content()->imageView->image().isNull());
        }
        {
            QScopedPointer<ExerciseRunnerPanel> p(open({withImage(QStringLiteral("file:///etc/hostname"))}));
            clock->advance(0.3);
            QVERIFY(!p->content()->imageView->isVisibleTo(p->window())); // texts only
        }
    }

    // A photo over the decoder's memory limit (a 48 MP phone photo is over the default 128 MB) still
    // shows: it is decoded at the size it is shown. The limit is lowered to keep the picture small.
    void largePhotoShowsAtItsShownSize() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("photo.jpg"));
        QImage photo(2400, 1600, QImage::Format_RGB32);
        photo.fill(Qt::blue);
        QVERIFY(photo.save(path, "JPG"));
        const int limit = QImageReader::allocationLimit();
        const auto restore = qScopeGuard([limit] { QImageReader::setAllocationLimit(limit); });
        QImageReader::setAllocationLimit(8); // MB; the whole picture needs 14.6
        QVERIFY(QImage(path).isNull());
        Exercise e = ex("Photo", {10});
        e.steps[0].imagePath = path;
        QScopedPointer<ExerciseRunnerPanel> p(open({e}));
        clock->advance(0.3);
        RunnerImageView *view = p->content()->imageView;
        QVERIFY(view->isVisibleTo(p->window()));
        QTRY_VERIFY(!view->image().isNull());
        const QSize box = view->size() * view->devicePixelRatioF();
        QVERIFY2(view->image().width() <= std::max(box.width(), box.height()),
                 qPrintable(QStringLiteral("%1 wide for a view of %2").arg(view->image().width()).arg(box.width())));
    }

    // A step with a link waits for its browser window, also one the user closed with its own button.
    void browserStepWaits() {
        // No web engine in tests: a module that makes no page (the window offers the default browser).
        NoWebPages none;
        Exercise e = ex("Web", {2, 10});
        e.steps[0].videoURL = QStringLiteral("127.0.0.1:9/video");
        QScopedPointer<ExerciseRunnerPanel> p(open({e}));
        clock->advance(0.3);
        QVERIFY(p->browser());
        QPointer<YouTubeBrowserWindow> b = p->browser()->localWindow(); // stand-in views: in this process
        QVERIFY(b);
        QCOMPARE(b->currentUrl().scheme(), QStringLiteral("https")); // "https://" put in front
        b->close(); // the title-bar button: stays attached
        clock->advance(5);
        QCOMPARE(p->currentStep(), 0);
        QCOMPARE(p->remaining(), 0);
        QVERIFY(sound->played.isEmpty());
        p->skipStep();
        QCOMPARE(p->currentStep(), 1);
        QVERIFY(!p->browser());
        installWebViews(nullptr);
    }

    // Frames draw only what changed visibly: in a long phase the circle grows by a hundredth of a
    // pixel a frame and is drawn a few times a second; in a short one, at every frame.
    void breathingCircleDrawsOnlyVisibleChanges() {
        BreathingCircleView v;
        v.resize(200, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        int paints = 0;
        EventCounter counter(&v, QEvent::Paint, &paints);
        auto paintsInASecond = [&](double phaseSecs) {
            v.animatePhase(BreathePhase::inhale, Qt::green, phaseSecs);
            clock->advance(phaseSecs * 0.46); // mid-phase, where the circle moves fastest
            QCoreApplication::processEvents();
            paints = 0;
            for (int i = 0; i < 30; ++i) {
                clock->advanceMs(33);
                QCoreApplication::processEvents();
            }
            return paints;
        };
        const int slow = paintsInASecond(120), quick = paintsInASecond(4);
        QVERIFY2(slow >= 1 && slow <= 6, qPrintable(QString::number(slow)));
        QVERIFY2(quick >= 15 && quick > 3 * slow, qPrintable(QString::number(quick)));
    }

    void breathingCircleGoesOnAfterAResize() {
        BreathingCircleView v;
        v.resize(200, 200);
        v.show();
        v.animatePhase(BreathePhase::exhale, Qt::green, 10);
        QCOMPARE(v.shownScale(), 1.0);
        clock->advance(4);
        const double mid = v.shownScale();
        QVERIFY(mid < 1.0 && mid > 0.55);
        v.resize(300, 300);
        QVERIFY(qAbs(v.shownScale() - mid) < 1e-9); // no jump back to 1.0
        clock->advance(9.2);
        QVERIFY(qAbs(v.shownScale() - 0.55) < 1e-9); // the full 0.92 × 10 s counted from the resize
        QCOMPARE(v.circleRadius(), 300 / 2 - 18.0);
        v.resize(40, 40); // too small: the old circle stays
        QCOMPARE(v.circleRadius(), 300 / 2 - 18.0);
    }
};

QTEST_MAIN(TstRunner)
#include "tst_runner.moc"
