#include "exercises/ExercisesView.h"

#include "ui/DisplayText.h"
#include "exercises/ExerciseFormat.h"
#include "exercises/ExerciseStore.h"
#include "exercises/ExerciseViews.h"
#include "exercises/ExercisesTexts.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "pomodoro/PomUi.h"
#include "ui/AW.h"
#include "ui/DraggableDivider.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include "ui/UiKit.h"
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <algorithm>

using namespace PomUi;

namespace {
using UiKit::fillBackground;

QScrollArea *plainScroll(QWidget *parent, QWidget *doc) {
    QScrollArea *s = UiKit::plainScrollArea(parent);
    s->setWidget(doc);
    return s;
}

double textW(const QWidget *w, const QString &t) {
    return w->fontMetrics().horizontalAdvance(t);
}

// Gives a button its title, cut with "…" (the whole title in the tooltip) when width is too small.
void fitTitle(QPushButton *b, const QString &title, double width, double pad) {
    const QString shown = b->fontMetrics().elidedText(DisplayText::cut(title), Qt::ElideRight, int(width - pad));
    b->setText(shown);
    b->setToolTip(shown == title ? QString() : title);
}
} // namespace

ExercisesView::ExercisesView(QWidget *parent)
    : Page(parent), playlist_([](const QString &id) { return ExerciseStore::shared().find(id); }) {
    auto &n = Notifier::get();
    n.observe(Notify::exercisesChanged, this, [this](QObject *) { requestParts(allParts); });
    n.observe(Notify::languageChanged, this, [this](QObject *) { refresh(); });
}

ExercisesView::~ExercisesView() {
    if (runnerPanel_) runnerPanel_->close();
}

QColor ExercisesView::hexColor(const QString &text) {
    if (const auto rgb = ExerciseFormat::hexRgb(text)) return QColor::fromRgb(*rgb);
    QColor c = VF::accent();
    c.setAlphaF(1.0f);
    return c;
}

// The list is never narrower than its playlist bar can be read at: 160 at font scale 1.0, more at
// larger scales.
double ExercisesView::listWidth(double w, double frac) {
    return std::max(VF::scaled(160.0), std::min(w * frac, 0.6 * w));
}

double ExercisesView::fractionForDrag(double x, double w) {
    return std::max(std::min(x, 0.6 * w), VF::scaled(160.0)) / std::max(w, 1.0);
}

QPushButton *ExercisesView::runButton() const {
    return playlistRunBtn_;
}
QPushButton *ExercisesView::resumeButton() const {
    return playlistResumeBtn_;
}
QPushButton *ExercisesView::clearButton() const {
    return playlistClearBtn_;
}

void ExercisesView::setup() {
    // clearContent() has deleted the previous views (theme or font-scale change): build them anew.
    applyBackground();
    hdrBg_ = new QWidget(this);
    fillBackground(hdrBg_, VF::hdrBg());
    titleLblEx_ = label(this, QString(), 22, QFont::Bold, VF::text());
    subLblEx_ = label(this, QString(), 11.5, QFont::Normal, VF::sub());
    addBtnEx_ = makeHdrBtn(new QPushButton, QString(), true, this);
    importBtnEx_ = makeHdrBtn(new QPushButton, QString(), false, this);
    exportBtnEx_ = makeHdrBtn(new QPushButton, QString(), false, this);
    addBtnEx_->setObjectName(QStringLiteral("createButton"));
    importBtnEx_->setObjectName(QStringLiteral("importButton"));
    exportBtnEx_->setObjectName(QStringLiteral("exportButton"));

    listPanel_ = new QWidget(this);
    fillBackground(listPanel_, VF::bg());
    listContent_ = new ExerciseListView;
    listScroll_ = plainScroll(listPanel_, listContent_);
    QPointer<ExercisesView> self(this);
    listContent_->onTap = [self](const QString &id) {
        if (self) self->selectExercise(id);
    };

    dividerEx_ = new DraggableDivider(this);
    dividerEx_->onDrag = [self](double x) {
        if (!self) return;
        self->listFrac_ = fractionForDrag(x, self->width());
        self->layoutFrame();
    };
    detailHost_ = new QWidget(this);
    detailHost_->setObjectName(QStringLiteral("detailHost"));
    fillBackground(detailHost_, VF::bg());

    playlistSep_ = new QWidget(listPanel_);
    fillBackground(playlistSep_, VF::border());
    playlistHdrBar_ = new QWidget(listPanel_);
    fillBackground(playlistHdrBar_, VF::hdrBg());
    playlistTitleLbl_ = label(playlistHdrBar_, QString(), 9, QFont::DemiBold, VF::muted());
    playlistPctLbl_ = new QLabel(playlistHdrBar_);
    playlistPctLbl_->setObjectName(QStringLiteral("playlistPct"));
    playlistPctLbl_->setFont(Fonts::monoDigits(10, QFont::DemiBold, false));
    QPalette pp = playlistPctLbl_->palette();
    pp.setColor(QPalette::WindowText, VF::accent());
    playlistPctLbl_->setPalette(pp);
    playlistResumeBtn_ =
        new TintButton(QString(), QColor::fromRgbF(0.98f, 0.65f, 0.18f), 0, 0, 6, playlistHdrBar_);
    playlistResumeBtn_->setObjectName(QStringLiteral("resumeButton"));
    playlistResumeBtn_->setFont(Fonts::scaledFont(9, QFont::Medium));
    playlistRunBtn_ = new TintButton(QString(), VF::accent(), 0.15, 0.45, 7, playlistHdrBar_);
    playlistRunBtn_->setObjectName(QStringLiteral("runButton"));
    playlistRunBtn_->setFont(Fonts::scaledFont(10, QFont::DemiBold));
    playlistClearBtn_ = new TintButton(QStringLiteral("✕"), VF::muted(), 0, 0, 4, playlistHdrBar_);
    playlistClearBtn_->setObjectName(QStringLiteral("clearButton"));
    playlistClearBtn_->setFont(Fonts::scaledFont(11));

    playlistDrop_ = new PlaylistDropView;
    playlistDrop_->activate();
    playlistScroll_ = plainScroll(listPanel_, playlistDrop_);

    // The buttons keep one target each for the life of these views; only the detail pane's change.
    connect(addBtnEx_, &QPushButton::clicked, this, [self] {
        if (self) self->openEditor(std::nullopt);
    });
    connect(importBtnEx_, &QPushButton::clicked, this, [self] {
        if (self) self->doImport();
    });
    connect(exportBtnEx_, &QPushButton::clicked, this, [self] {
        if (self) self->doExport();
    });
    connect(playlistRunBtn_, &QPushButton::clicked, this, [self] {
        if (self) self->launchPlaylist();
    });
    connect(playlistResumeBtn_, &QPushButton::clicked, this, [self] {
        if (self) self->resumePlaylist();
    });
    connect(playlistClearBtn_, &QPushButton::clicked, this, [self] {
        if (self) self->clearPlaylist();
    });
    playlistDrop_->onDrop = [self](const QString &id) {
        if (self) self->dropExercise(id);
    };
    playlistDrop_->onReorder = [self](const QString &uid, int k) {
        if (self) self->reorderPlaylist(uid, k);
    };
    playlistDrop_->onRemove = [self](const QString &uid) {
        if (self) self->removePlaylistEntry(uid);
    };

    // Every playlist change is written at once, so the stored state equals the one in memory: read it
    // at the first setup only (a later read would set an unreadable state aside a second time).
    if (!playlistLoaded_) playlist_.load();
    playlistLoaded_ = true;
    lastListW_ = 0;
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->show();
    rewireHeaderButtons();
    layoutFrame();
    refresh();
}

void ExercisesView::refresh() {
    if (!titleLblEx_) return;
    rewireHeaderButtons();
    requestParts(allParts);
}

void ExercisesView::rewireHeaderButtons() {
    titleLblEx_->setText(QStringLiteral("🏆  ") + ExTexts::pageName());
    subLblEx_->setText(ExTexts::subtitle());
    addBtnEx_->setText(QStringLiteral("＋ ") + ExTexts::create());
    importBtnEx_->setText(QStringLiteral("📥 ") + ExTexts::importWord());
    exportBtnEx_->setText(QStringLiteral("📤 ") + ExTexts::exportWord());
    playlistTitleLbl_->setText(ExTexts::playlistTitle());
    playlistDrop_->setHint(ExTexts::dragHint());
    layoutFrame();
}

void ExercisesView::requestParts(int parts) {
    dirtyParts_ |= parts;
    requestRebuild();
}

void ExercisesView::rebuild() {
    if (!listContent_) return; // not set up yet
    const int parts = dirtyParts_ ? dirtyParts_ : int(allParts);
    dirtyParts_ = 0;
    if (parts & listPart) rebuildList(0);
    if (parts & detailPart) rebuildDetail();
    if (parts & playlistPart) rebuildPlaylist();
}

void ExercisesView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    layoutFrame();
}

void ExercisesView::layoutFrame() {
    if (!hdrBg_) return;
    const double W = width(), H = height();
    const double L = listWidth(W, listFrac_);
    const double C = H - hdrH;
    hdrBg_->setGeometry(yUp(H, 0, H - hdrH, W, hdrH));

    // Header buttons from the right, each at least its design width and as wide as its title needs.
    auto btnW = [](QPushButton *b, double design) { return std::max(design, textW(b, b->text()) + 24); };
    const double wE = btnW(exportBtnEx_, 90), wI = btnW(importBtnEx_, 90), wA = btnW(addBtnEx_, 94);
    const double xE = W - 20 - wE, xI = xE - 6 - wI, xA = xI - 6 - wA;
    exportBtnEx_->setGeometry(yUp(H, xE, H - 50, wE, 26));
    importBtnEx_->setGeometry(yUp(H, xI, H - 50, wI, 26));
    addBtnEx_->setGeometry(yUp(H, xA, H - 50, wA, 26));
    const double titleW = std::max(100.0, xA - 32);
    const double titleH = std::max(30.0, QFontMetricsF(titleLblEx_->font()).height());
    const double subH = std::max(16.0, QFontMetricsF(subLblEx_->font()).height());
    // Larger font scales grow the title upwards and the subtitle downwards, so they never overlap.
    titleLblEx_->setGeometry(yUp(H, 20, H - 46, titleW, titleH));
    subLblEx_->setGeometry(yUp(H, 20, H - 48 - subH, titleW, subH));
    const QString sub = ExTexts::subtitle();
    subLblEx_->setText(subLblEx_->fontMetrics().elidedText(DisplayText::cut(sub), Qt::ElideRight, int(titleW)));
    subLblEx_->setToolTip(subLblEx_->text() == sub ? QString() : sub);

    listPanel_->setGeometry(yUp(H, 0, 0, L, C));
    dividerEx_->setGeometry(yUp(H, L, 0, 5, C));
    detailHost_->setGeometry(yUp(H, L + 5, 0, W - L - 5, C));

    const double P = std::max(C * plFrac, 140.0);
    listScroll_->setGeometry(yUp(C, 0, P, L, C - P - 1));
    playlistSep_->setGeometry(yUp(C, 0, P - 1, L, 1));
    const double B = playlistBarHeight(L);
    playlistHdrBar_->setGeometry(yUp(C, 0, P - 1 - B, L, B));
    layoutPlaylistBar(L, B);
    playlistScroll_->setGeometry(yUp(C, 0, 0, L, std::max(P - B - 1, 60.0)));

    if (std::abs(L - lastListW_) > 0.5) {
        lastListW_ = L;
        requestParts(allParts);
    } else {
        requestParts(detailPart);
    }
}

void ExercisesView::layoutPlaylistBar() {
    const double L = playlistHdrBar_->width();
    const double B = playlistBarHeight(L);
    // Resume shown or hidden may take the bar to another number of lines: the list below follows.
    if (int(B) != playlistHdrBar_->height()) return layoutFrame();
    layoutPlaylistBar(L, B);
}

namespace {
constexpr double kBarLine = 22;   // one line of the playlist bar
constexpr double kOneLineMin = 270;
} // namespace

// The playlist bar's widths for a list L wide: buttons and title as their texts need them.
ExercisesView::PlaylistBarFit ExercisesView::playlistBarFit(double L) const {
    PlaylistBarFit f;
    f.runW = std::max(58.0, textW(playlistRunBtn_, QStringLiteral("▶ ") + ExTexts::run()) + 14);
    f.resW = std::max(62.0, textW(playlistResumeBtn_, QStringLiteral("↩ ") + ExTexts::resume()) + 12);
    f.pctW = std::max(36.0, textW(playlistPctLbl_, QStringLiteral("100%")) + 4);
    const bool resume = playlistResumeBtn_->isVisibleTo(this);
    const double buttons = (resume ? f.resW + 4 : 0) + f.runW;
    const double titleNeed = textW(playlistTitleLbl_, ExTexts::playlistTitle()) + 1;
    // One line while the title still shows whole beside the buttons; else the buttons go below it,
    // side by side where they fit, else one above the other, each as wide as the list allows.
    if (L >= kOneLineMin && L - 26 - 4 - buttons - 10 - 4 - f.pctW - 6 >= titleNeed)
        f.lines = 1;
    else if (buttons <= L - 42)
        f.lines = 2;
    else
        f.lines = resume ? 3 : 2;
    return f;
}

double ExercisesView::playlistBarHeight(double L) const {
    return 34 + (playlistBarFit(L).lines - 1) * kBarLine;
}

void ExercisesView::layoutPlaylistBar(double L, double B) {
    const QString runT = QStringLiteral("▶ ") + ExTexts::run();
    const QString resT = QStringLiteral("↩ ") + ExTexts::resume();
    PlaylistBarFit f = playlistBarFit(L);
    const double pctW = f.pctW;
    const double lblH = std::max(12.0, QFontMetricsF(playlistTitleLbl_->font()).height());
    const double btnH = std::max(20.0, QFontMetricsF(playlistRunBtn_->font()).height() + 4);
    const double avail = L - 8 - 26 - 8;
    double lineY, titleAvail;
    if (f.lines == 1) {
        const double clearX = L - 26, runX = clearX - 4 - f.runW, resX = runX - 4 - f.resW;
        playlistClearBtn_->setGeometry(yUp(B, clearX, 7 + (20 - btnH) / 2, 18, btnH));
        playlistRunBtn_->setGeometry(yUp(B, runX, 7 + (20 - btnH) / 2, f.runW, btnH));
        playlistResumeBtn_->setGeometry(yUp(B, resX, 7 + (20 - btnH) / 2, f.resW, btnH));
        lineY = 11;
        titleAvail = (playlistResumeBtn_->isVisibleTo(this) ? resX : runX) - 10 - 4 - pctW - 6;
    } else if (f.lines == 2) {
        // Title and percentage above, Resume and Run below, sharing the width if need be.
        if (f.resW + 4 + f.runW > avail) f.resW = f.runW = (avail - 4) / 2;
        if (!playlistResumeBtn_->isVisibleTo(this)) f.runW = std::min(f.runW, avail);
        playlistClearBtn_->setGeometry(yUp(B, L - 26, 1 + (20 - btnH) / 2, 18, btnH));
        playlistResumeBtn_->setGeometry(yUp(B, 8, 1 + (20 - btnH) / 2, f.resW, btnH));
        playlistRunBtn_->setGeometry(
            yUp(B, playlistResumeBtn_->isVisibleTo(this) ? 8 + f.resW + 4 : 8, 1 + (20 - btnH) / 2, f.runW, btnH));
        lineY = 33;
        titleAvail = L - 10 - 4 - pctW - 8;
    } else {
        // Title, then Resume beside the clear button, then Run: each button as wide as the list allows.
        f.resW = f.runW = avail;
        playlistClearBtn_->setGeometry(yUp(B, L - 26, 1 + kBarLine + (20 - btnH) / 2, 18, btnH));
        playlistResumeBtn_->setGeometry(yUp(B, 8, 1 + kBarLine + (20 - btnH) / 2, f.resW, btnH));
        playlistRunBtn_->setGeometry(yUp(B, 8, 1 + (20 - btnH) / 2, f.runW, btnH));
        lineY = 33 + kBarLine;
        titleAvail = L - 10 - 4 - pctW - 8;
    }
    fitTitle(playlistRunBtn_, runT, f.runW, 6);
    fitTitle(playlistResumeBtn_, resT, f.resW, 6);
    const QString title = ExTexts::playlistTitle();
    // Above the buttons the title has the line to itself but for the percentage: a long one is set a
    // little smaller rather than cut.
    const QFont titleFont = Fonts::scaledFont(9, QFont::DemiBold);
    const QFont smaller = Fonts::shrunkToFit(titleFont, title, std::max(20.0, titleAvail));
    playlistTitleLbl_->setFont(f.lines > 1 && smaller.pointSizeF() >= 0.8 * titleFont.pointSizeF() ? smaller : titleFont);
    const double tw = std::min(textW(playlistTitleLbl_, title), std::max(20.0, titleAvail));
    playlistTitleLbl_->setGeometry(yUp(B, 10, lineY + (12 - lblH) / 2, tw + 1, lblH));
    playlistTitleLbl_->setText(
        playlistTitleLbl_->fontMetrics().elidedText(DisplayText::cut(title), Qt::ElideRight, int(tw + 1)));
    playlistTitleLbl_->setToolTip(playlistTitleLbl_->text() == title ? QString() : title);
    playlistPctLbl_->setGeometry(yUp(B, 10 + tw + 4, lineY + (12 - lblH) / 2, pctW, lblH));
}

AW *ExercisesView::newAW(std::function<void()> fn) {
    auto *aw = new AW(std::move(fn), this);
    awStore_.append(aw);
    return aw;
}

void ExercisesView::releaseAWs() {
    // The previous targets may belong to the button being clicked right now: release them later.
    for (AW *aw : std::as_const(awStore_))
        aw->deleteLater();
    awStore_.clear();
}

void ExercisesView::selectExercise(const QString &id) {
    selectedID_ = id;
    requestParts(listPart | detailPart);
}

QWidget *ExercisesView::parentWindow() const {
    if (QWidget *w = window(); w && w != this) return w;
    if (QWidget *k = QApplication::activeWindow()) return k;
    return nullptr;
}

void ExercisesView::closeRunner() {
    if (runnerPanel_) runnerPanel_->close();
    runnerPanel_ = nullptr;
}

ExerciseRunner *ExercisesView::openRunner(const std::vector<Exercise> &exercises, qint64 fromStep,
                                          std::optional<qint64> remainingSecs) {
    QWidget *parent = parentWindow();
    closeRunner();
    runnerPanel_ = ExerciseRunnerHost::get().open(exercises, fromStep, remainingSecs, parent);
    return runnerPanel_;
}

void ExercisesView::startExercise(const Exercise &exercise) {
    // A single exercise's run never touches the playlist's progress: no completion handler.
    if (ExerciseRunner *r = openRunner({exercise}, 0, std::nullopt)) r->showAndRaise();
}

void ExercisesView::openEditor(const std::optional<Exercise> &exercise) {
    QPointer<ExercisesView> self(this);
    const bool existing = exercise.has_value();
    ExerciseEditorHost::get().show(exercise, parentWindow(), [self, existing](std::optional<Exercise> saved) {
        if (!saved) return;
        if (existing)
            ExerciseStore::shared().update(*saved);
        else
            ExerciseStore::shared().add(*saved);
        if (!self) return;
        self->revealSelection_ = true;
        self->selectExercise(saved->id);
    });
}
