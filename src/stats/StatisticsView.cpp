#include "stats/StatisticsView.h"
#include "ui/DisplayText.h"
#include "finance/FinanceFile.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "stats/StatsContentView.h"
#include "ui/CommonAlerts.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include "ui/UiKit.h"
#include <QFontMetricsF>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

namespace {
QDate today() {
    return Clock::get().now().toLocalTime().date();
}
// Sets a label's text, elided to its width, with the whole text as tooltip when cut.
void setFitted(QLabel *l, const QString &s) {
    const QString shown = QFontMetrics(l->font()).elidedText(DisplayText::cut(s), Qt::ElideRight, l->width());
    l->setText(shown);
    l->setToolTip(shown == s ? QString() : s);
}
int textW(const QFont &f, const QString &s) {
    return int(std::ceil(QFontMetricsF(f).horizontalAdvance(s)));
}
const Tr kTitle{.en = "Statistics", .es = "Estadísticas", .de = "Statistiken", .fr = "Statistiques", .uk = "Статистика", .pl = "Statystyki"};
QString titleText() { return QStringLiteral("📊  ") + L::t(kTitle); }
QString exportTitle() { return QStringLiteral("📤 Export ▾"); }
QFont titleFont() { return Fonts::scaledFont(22, QFont::Bold); }
const Tr kSub{.en = "Pomodoro · Tasks · Exercises · Finances", .es = "Pomodoro · Tareas · Ejercicios · Finanzas",
              .de = "Pomodoro · Aufgaben · Übungen · Finanzen", .fr = "Pomodoro · Tâches · Exercices · Finances",
              .uk = "Помодоро · Завдання · Вправи · Фінанси", .pl = "Pomodoro · Zadania · Ćwiczenia · Finanse"};
const Tr kDay{.en = "Day", .es = "Día", .de = "Tag", .fr = "Jour", .uk = "День", .pl = "Dzień"};
const Tr kMonth{.en = "Month", .es = "Mes", .de = "Monat", .fr = "Mois", .uk = "Місяць", .pl = "Miesiąc"};
} // namespace

StatisticsView::StatisticsView(QWidget *parent) : Page(parent) {
    period_ = {StatsMode::month, today()};
    // Observed once for the page's life: setup() runs again after every theme change.
    auto &n = Notifier::get();
    for (const char *name : {Notify::tasksChanged, Notify::financesChanged, Notify::exercisesChanged,
                             Notify::pomodoroChanged, Notify::languageChanged})
        n.observe(QString::fromLatin1(name), this, [this](QObject *) {
            ++changesSeen_;
            refresh();
        });
}

void StatisticsView::setup() {
    applyBackground();
    hdrBg_ = new QWidget(this);
    hdrBg_->setAutoFillBackground(true);
    QPalette hp = hdrBg_->palette();
    hp.setColor(QPalette::Window, VF::hdrBg());
    hdrBg_->setPalette(hp);
    titleLbl_ = UiKit::fontLabel(this, titleFont(), VF::text());
    subLbl_ = UiKit::fontLabel(this, Fonts::scaledFont(11.5), VF::sub());

    auto modeBtn = [this](StatsMode mode) {
        auto *b = new QPushButton(this);
        b->setFlat(true);
        b->setCursor(Qt::PointingHandCursor);
        connect(b, &QPushButton::clicked, this, [this, mode] { setMode(mode); });
        return b;
    };
    dayBtn_ = modeBtn(StatsMode::day);
    monthBtn_ = modeBtn(StatsMode::month);
    prevBtn_ = makeHdrBtn(new QPushButton(this), QStringLiteral("←"), false, this);
    prevBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    connect(prevBtn_, &QPushButton::clicked, this, [this] { navPeriod(-1); });
    periodLbl_ = UiKit::fontLabel(this, Fonts::scaledFont(13, QFont::DemiBold), VF::text(), Qt::AlignHCenter);
    nextBtn_ = makeHdrBtn(new QPushButton(this), QStringLiteral("→"), false, this);
    nextBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    connect(nextBtn_, &QPushButton::clicked, this, [this] { navPeriod(+1); });
    exportBtn_ = makeHdrBtn(new QPushButton(this), exportTitle(), true, this);
    connect(exportBtn_, &QPushButton::clicked, this, [this] { showExportMenu(); });

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(false);
    QPalette sp = scroll_->palette();
    sp.setColor(QPalette::Window, VF::bg());
    scroll_->setPalette(sp);
    scroll_->viewport()->setAutoFillBackground(true);
    scroll_->viewport()->setPalette(sp);
    content_ = new StatsContentView;
    scroll_->setWidget(content_);
    drawnFrom_.reset(); // new widgets: draw them

    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
    refresh();
}

void StatisticsView::refresh() {
    if (titleLbl_) relabel();
    requestRebuild();
}

void StatisticsView::relabel() {
    titleLbl_->setText(titleText());
    subLbl_->setText(L::t(kSub));
    dayBtn_->setText(L::t(kDay));
    monthBtn_->setText(L::t(kMonth));
    updateModeButtons();
    layoutFrame();
}

void StatisticsView::updateModeButtons() {
    auto style = [](QPushButton *b, bool active) {
        b->setFont(Fonts::scaledFont(13, active ? QFont::Bold : QFont::Normal));
        QPalette p = b->palette();
        p.setColor(QPalette::ButtonText, active ? VF::text() : VF::sub());
        b->setPalette(p);
    };
    style(dayBtn_, period_.mode == StatsMode::day);
    style(monthBtn_, period_.mode == StatsMode::month);
}

void StatisticsView::setMode(StatsMode mode) {
    period_ = {mode, today()};
    if (dayBtn_) updateModeButtons();
    requestRebuild();
}

void StatisticsView::navPeriod(int step) {
    period_ = stepPeriod(period_, step);
    requestRebuild();
}

void StatisticsView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    layoutFrame();
    requestRebuild();
}

void StatisticsView::layoutFrame() {
    if (!hdrBg_) return;
    const int W = width(), H = height();
    hdrBg_->setGeometry(yUp(H, 0, H - 74, W, 74));
    // The export button grows with its title at larger font scales, keeping 20 points from the edge.
    const int ew = std::max(90, textW(exportBtn_->font(), exportBtn_->text()) + 28);
    exportBtn_->setGeometry(yUp(H, W - 20 - ew, H - 52, ew, 26));
    // The period label takes the room its longest month needs at this font size; the arrows follow it.
    const int pw = std::max(82, textW(periodLbl_->font(), QStringLiteral("Wrzesień 2026")) + 12);
    const int navR = W - 28 - ew;
    nextBtn_->setGeometry(yUp(H, navR - 30, H - 54, 30, 30));
    periodLbl_->setGeometry(yUp(H, navR - 34 - pw, H - 52, pw, 26));
    prevBtn_->setGeometry(yUp(H, navR - 38 - pw - 30, H - 54, 30, 30));
    const int bw = std::max({62, textW(Fonts::scaledFont(13, QFont::Bold), dayBtn_->text()) + 14,
                             textW(Fonts::scaledFont(13, QFont::Bold), monthBtn_->text()) + 14});
    const int modeX = std::min((W - (2 * bw + 4)) / 2, navR - 76 - pw - 2 * bw - 12);
    const int titleRoom = std::max(120, modeX - 28);
    // The title and the subtitle one under the other at every font scale: lines taller than the
    // design's take their room from above the title and below the subtitle alike.
    const auto lineH = [](QWidget *w, double design) {
        return std::max(design, std::ceil(QFontMetricsF(w->font()).height()) + 2);
    };
    const double titleH = lineH(titleLbl_, 30), subH = lineH(subLbl_, 16);
    const double titleTop = std::max(4.0, 16 - (titleH + subH - 46) / 2);
    titleLbl_->setGeometry(QRectF(20, titleTop, std::min(380, titleRoom), titleH).toRect());
    subLbl_->setGeometry(QRectF(20, titleTop + titleH + 2, std::min(400, titleRoom), subH).toRect());
    dayBtn_->setGeometry(yUp(H, modeX, H - 52, bw, 28));
    monthBtn_->setGeometry(yUp(H, modeX + bw + 4, H - 52, bw, 28));
    scroll_->setGeometry(yUp(H, 0, 0, W, std::max(0, H - 74)));
    setFitted(titleLbl_, titleText());
    setFitted(subLbl_, L::t(kSub));
    if (!drawnPeriodLabel_.isEmpty()) setFitted(periodLbl_, drawnPeriodLabel_);
}

void StatisticsView::rebuild() {
    if (!content_) return;
    StatsSnapshot snap = StatsSnapshot::capture(period_);
    int w = scroll_->viewport()->width();
    if (w <= 0) w = width();
    if (drawnFrom_ && *drawnFrom_ == snap && drawnPeriod_ == period_ && drawnWidth_ == w) return;
    StatsModel model = buildStatsModel(snap, period_);
    drawnPeriodLabel_ = model.periodLabel;
    setFitted(periodLbl_, drawnPeriodLabel_);
    drawnFrom_ = std::move(snap);
    drawnPeriod_ = period_;
    drawnWidth_ = w;
    if (contentDrawn_) return drawContent(model, w);
    firstModel_ = std::move(model);
    firstWidth_ = w;
    if (firstDrawQueued_) return;
    firstDrawQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        firstDrawQueued_ = false;
        if (content_) drawContent(firstModel_, firstWidth_);
    });
}

void StatisticsView::drawContent(const StatsModel &model, int width) {
    content_->setModel(model, width);
    contentDrawn_ = true;
    ++contentBuilds_;
}

// ---- exports ----------------------------------------------------------------------------------

void StatisticsView::showExportMenu() {
    QMenu menu(this);
    menu.setFont(Fonts::scaledFont(13));
    QPointer<StatisticsView> self(this);
    auto item = [&](const char *title, void (StatisticsView::*action)()) {
        menu.addAction(QString::fromUtf8(title), this, [self, action] {
            if (self) (self.data()->*action)();
        });
    };
    item("📄  CSV", &StatisticsView::doExportCSV);
    item("📝  TXT Report", &StatisticsView::doExportTXT);
    item("📋  PDF", &StatisticsView::doExportPDF);
    menu.exec(exportBtn_->mapToGlobal(exportBtn_->rect().bottomLeft()));
}

void StatisticsView::exportText(const QString &textNow, const char *extension, const QStringList &filters) {
    QPointer<StatisticsView> self(this);
    const StatsPeriod p = period_;
    const QString path = Dialogs::get().savePath(window(), QString(), StatsText::fileName(p, extension), filters);
    if (path.isEmpty() || !self) return;
    // CSV and text are built when the panel closes, so they hold the data of that moment.
    const QString text = textNow.isNull()
                             ? (QLatin1String(extension) == QLatin1String(".csv")
                                    ? StatsText::csvText(StatsSnapshot::capture(p), p)
                                    : StatsText::reportText(StatsSnapshot::capture(p), p))
                             : textNow;
    const FinanceFile::WriteResult r = QLatin1String(extension) == QLatin1String(".pdf")
                                           ? FinanceFile::writePdf(path, text, QString::fromUtf8(StatsText::kReportTitle))
                                           : FinanceFile::write(path, text.toUtf8());
    if (!r.ok) alertExportFailed(window(), r.error);
}

void StatisticsView::doExportCSV() {
    exportText(QString(), ".csv", {QStringLiteral("CSV (*.csv)")});
}
void StatisticsView::doExportTXT() {
    exportText(QString(), ".txt", {});
}
void StatisticsView::doExportPDF() {
    // The PDF holds the data of the moment its item was chosen.
    exportText(StatsText::reportText(StatsSnapshot::capture(period_), period_), ".pdf", {});
}

QList<EmojiPrep::Text> StatisticsView::emojiShown() {
    return QList<EmojiPrep::Text>{{titleText(), titleFont()}, {exportTitle(), hdrBtnFont(true)}} +
           StatsContentView::emojiShown();
}
