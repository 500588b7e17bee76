#include "app/RenderWalk.h"
#include "exercises/BrowserWindowHost.h"
#include "exercises/BuiltInExercises.h"
#include "exercises/ExerciseEditor.h"
#include "exercises/ExerciseRunnerPanel.h"
#include "exercises/ExercisesView.h"
#include "exercises/Playlist.h"
#include "platform/Keys.h"
#include "exercises/YouTubeBrowserWindow.h"
#include "ui/DraggableDivider.h"
#include "ui/Fonts.h"
#include "ui/WebModule.h"
#include <QDir>

namespace {
// The browser window's shell around a blank stand-in for the web view.
// Owned by its widget, as the module's page is by its view.
class BlankPage : public QObject, public BrowserPage {
public:
    explicit BlankPage(QWidget *parent) : widget_(new QWidget(parent)) { setParent(widget_); }
    QWidget *widget() override { return widget_; }
    void load(const QUrl &u) override { url_ = u; }
    void back() override {}
    void forward() override {}
    void reload() override {}
    QUrl url() const override { return url_; }

private:
    QWidget *widget_;
    QUrl url_;
};
class BlankViews : public WebViews {
public:
    QWidget *makeDocumentView(QWidget *parent, const QString &, const QUrl &, std::function<void(const QUrl &)>) override {
        return new QWidget(parent);
    }
    BrowserPage *makeBrowserPage(QWidget *parent, const QString &) override { return new BlankPage(parent); }
};

// A user's exercise whose first step links to a video (the runner shows its link card) and whose
// second has every field filled.
Exercise linkedExercise() {
    Exercise e;
    e.id = QStringLiteral("user-walk");
    e.name = QStringLiteral("Morning mobility routine");
    e.emoji = QStringLiteral("🤸");
    e.category = QStringLiteral("Health");
    ExerciseStep video;
    video.id = QStringLiteral("s1");
    video.title = QStringLiteral("Follow the video");
    video.instruction = QStringLiteral("Do what the trainer shows, at your own pace.");
    video.durationSecs = 90;
    video.videoURL = QStringLiteral("https://example.org/watch?v=mobility");
    ExerciseStep plain = video;
    plain.id = QStringLiteral("s2");
    plain.title = QStringLiteral("Shoulder circles");
    plain.videoURL.reset();
    plain.imageURL = QStringLiteral("https://example.org/shoulders.png");
    e.steps = {video, plain};
    return e;
}
} // namespace

// The exercises page with its list at its narrowest, the runner (breathing circle, body animation
// and link card), the browser window and the editor, in every look (app/RenderWalk.h). Each window
// is also drawn to <test dir>/render/ for a person to look at.
class TstRenderExercises : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() {
        Fonts::applyAppFont();
        installWebViews(&views);
    }
    void exerciseWindowsFitInEveryLook();

private:
    BlankViews views;
};

void TstRenderExercises::exerciseWindowsFitInEveryLook() {
    TempPrefs prefs;
    RenderWalk walk;
    WalkDialogs dialogs(walk);
    const QString out = QCoreApplication::applicationDirPath() + QStringLiteral("/render/");
    QDir().mkpath(out);
    // A playlist run half done: the playlist bar shows its title, Resume and Run.
    PlaylistSavedState half;
    half.entryExIDs = {QStringLiteral("builtin-box"), QStringLiteral("builtin-neck")};
    half.entryUIDs = {QStringLiteral("u1"), QStringLiteral("u2")};
    half.completedCount = 1;
    half.currentExIdx = 1;
    prefs.prefs().setData(kPlaylistState, PlaylistJson::encode(half));
    for (const Look &look : allLooks()) {
        walk.look = look;
        applyLook(look);
        {
            auto page = openPage<ExercisesView>();
            QVERIFY(page);
            QVERIFY(page->resumeButton()->isVisible());
            walk.check(page.get(), QStringLiteral("exercises page"));
            page->findChild<DraggableDivider *>()->onDrag(0);
            settle();
            walk.check(page.get(), QStringLiteral("exercises page, narrowest list"));
        }
        std::vector<Exercise> runs;
        for (const Exercise &e : BuiltInExercises::make(look.lang))
            if (e.id == QLatin1String("builtin-box") || e.id == QLatin1String("builtin-neck")) runs.push_back(e);
        runs.push_back(linkedExercise());
        for (const Exercise &e : runs) {
            auto *runner = new ExerciseRunnerPanel({e}, 0, std::nullopt, nullptr);
            runner->showAndRaise();
            QTest::qWait(50); // a few animation frames
            QWidget *win = runner->window();
            walk.check(win, QStringLiteral("runner of ") + e.id);
            const bool shoot = look.scale != 1.15 && (look.lang == AppLang::uk || look.lang == AppLang::de);
            if (shoot)
                win->grab().save(out + QStringLiteral("runner-%1-%2-%3-%4.png")
                                           .arg(e.id, AppThemes::rawValue(look.theme), AppLangs::rawValue(look.lang))
                                           .arg(look.scale));
            // The linked step opens its browser window once the step's fade-in has run: checked every
            // time, however fast the fade went, and shown as the user's "open" shows it (a window never
            // shown has no visible control to check).
            if (e.id == linkedExercise().id) QTRY_VERIFY_WITH_TIMEOUT(runner->browser(), 60000);
            if (BrowserWindowHost *host = runner->browser()) {
                host->bringToFront();
                settle();
                YouTubeBrowserWindow *b = host->localWindow(); // in this process: stand-in web views
                QVERIFY(b);
                walk.check(b, QStringLiteral("browser window"));
                host->stopAndClose();
            }
            runner->close();
        }
        for (const Exercise &e : {linkedExercise(), BuiltInExercises::make(look.lang).front()}) {
            ExerciseEditorController::show(e, nullptr, [](std::optional<Exercise>) {});
            settle();
            walk.check(ExerciseEditorController::current()->panel(), QStringLiteral("editor of ") + e.id);
            ExerciseEditorController::current()->doCancel();
        }
        ExerciseEditorController::show(std::nullopt, nullptr, [](std::optional<Exercise>) {});
        settle();
        walk.check(ExerciseEditorController::current()->panel(), QStringLiteral("editor of a new exercise"));
        ExerciseEditorController::current()->doCancel();
        settle();
    }
    walk.verify();
}

QTEST_MAIN(TstRenderExercises)
#include "tst_render_exercises.moc"
