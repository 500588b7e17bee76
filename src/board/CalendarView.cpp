#include "board/CalendarView.h"

#include "board/BoardUi.h"
#include "board/CalDayCell.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "pomodoro/TaskStore.h"
#include "ui/UiKit.h"
#include "ui/FadedScroller.h"
#include "ui/FlippedView.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/TaggedView.h"
#include "ui/TextFit.h"
#include "ui/Fonts.h"
#include <QFontMetricsF>
#include <QLabel>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

using namespace BoardUi;

namespace {
constexpr int kHdrTag = 7700, kHintTag = 7701, kWeekdayTag = 7702;
constexpr double kWeekdayH = 26;
constexpr double kPanelW = 230;

QString calendarWord() {
    return L::t({.en = "Calendar",
                 .es = "Calendario",
                 .de = "Kalender",
                 .fr = "Calendrier",
                 .uk = "Календар",
                 .pl = "Kalendarz"});
}
QString hintText() {
    return L::t({.en = "Click a day to view or add events",
                 .es = "Haz clic en un día",
                 .de = "Klicke auf einen Tag",
                 .fr = "Cliquez sur un jour",
                 .uk = "Натисніть на день, щоб переглянути або додати події",
                 .pl = "Kliknij dzień, aby zobaczyć lub dodać wydarzenia"});
}
QString progressHeader() {
    return L::t({.en = "DAY PROGRESS",
                 .es = "PROGRESO DEL DÍA",
                 .de = "TAGESFORTSCHRITT",
                 .fr = "PROGRESSION DU JOUR",
                 .uk = "ПРОГРЕС ДНЯ",
                 .pl = "POSTĘP DNIA"});
}
} // namespace

QStringList CalendarView::weekdayNames() {
    switch (L::lang()) {
    case AppLang::en:
        return {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
    case AppLang::es:
        return {"LUN", "MAR", "MIÉ", "JUE", "VIE", "SÁB", "DOM"};
    case AppLang::de:
        return {"MO", "DI", "MI", "DO", "FR", "SA", "SO"};
    case AppLang::fr:
        return {"LUN", "MAR", "MER", "JEU", "VEN", "SAM", "DIM"};
    case AppLang::uk:
        return {"ПН", "ВТ", "СР", "ЧТ", "ПТ", "СБ", "НД"};
    case AppLang::pl:
        return {"PON", "WT", "ŚR", "CZW", "PT", "SOB", "ND"};
    }
    return {};
}

CalendarView::CalendarView(QWidget *parent) : Page(parent) {
    const QDate t = Clock::get().today();
    ym_ = {t.year(), t.month()};
}

void CalendarView::setup() {
    built_ = false;
    cells_.clear();
    for (const auto &c : observers_)
        QObject::disconnect(c);
    observers_.clear();
    auto &n = Notifier::get();
    observers_ << n.observe(QLatin1String(Notify::tasksChanged), this,
                            [this](QObject *) { requestRebuild(); });
    observers_ << n.observe(QLatin1String(Notify::languageChanged), this,
                            [this](QObject *) { requestRebuild(); });
    const QDate t = Clock::get().today();
    selectedDay_ =
        (t.year() == ym_.year && t.month() == ym_.month) ? std::optional<int>(t.day()) : std::nullopt;
    requestRebuild();
}

void CalendarView::buildTree() {
    built_ = true;
    applyBackground();
    scroll_ = UiKit::plainScrollArea(this);
    content_ = new FlippedView;
    UiKit::fillBackground(content_, VF::bg());
    scroll_->setWidget(content_);

    hdrBand_ = new TaggedView(kHdrTag, this);
    UiKit::fillBackground(hdrBand_, VF::hdrBg());
    titleLbl_ = label(this, 22, QFont::Bold, VF::text());
    hintLbl_ = label(this, 11.5, QFont::Normal, VF::sub());
    setTag(hintLbl_, kHintTag);
    prevBtn_ = makeHdrBtn(new QPushButton, QStringLiteral("←"), false, this);
    prevBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    prevBtn_->setObjectName(QStringLiteral("prevMonth"));
    monthLbl_ = label(this, 14, QFont::DemiBold, VF::text(), Qt::AlignCenter);
    nextBtn_ = makeHdrBtn(new QPushButton, QStringLiteral("→"), false, this);
    nextBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    nextBtn_->setObjectName(QStringLiteral("nextMonth"));
    connect(prevBtn_, &QPushButton::clicked, this, [this] { navMonth(-1); });
    connect(nextBtn_, &QPushButton::clicked, this, [this] { navMonth(1); });
    right_ = new CalRightPanel(this);
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->show();
}

void CalendarView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    layoutHeader();
    // The cells are replaced by the queued rebuild, never here.
    requestRebuild();
}

void CalendarView::layoutHeader() {
    if (!built_) return;
    const double W = width(), H = height();
    const double gW = std::max(0.0, W - 274);
    hdrBand_->setGeometry(yUp(H, 0, H - 66, W, 66));
    // A month name longer than the design's 126 points widens the switcher to the left; it still
    // ends at the grid's right edge.
    const double monthW = std::max(
        126.0,
        QFontMetricsF(monthLbl_->font()).horizontalAdvance(monthLbl_->property("fullText").toString()) + 8);
    const double x0 = gW - 174 - (monthW - 126);
    // As wide as the room before the month switcher allows, so long month names are not cut.
    place(titleLbl_, yUp(H, 16, H - 42, std::max(360.0, x0 - 24), 26));
    place(hintLbl_, yUp(H, 16, H - 60, std::max(400.0, x0 - 24), 14));
    prevBtn_->setGeometry(yUp(H, x0, H - 48, 28, 28));
    place(monthLbl_, yUp(H, x0 + 32, H - 46, monthW, 24));
    nextBtn_->setGeometry(yUp(H, gW - 12, H - 48, 28, 28));
    right_->setGeometry(yUp(H, gW + 28, 16, kPanelW, std::max(0.0, H - 86)));
    scroll_->setGeometry(yUp(H, 16, 16, gW, std::max(0.0, H - 82)));
}

QString CalendarView::titleText() const {
    return titleLbl_ ? titleLbl_->property("fullText").toString() : QString();
}

QList<CalDayCell *> CalendarView::dayCells() const {
    QList<CalDayCell *> out;
    for (const auto &c : cells_)
        if (c) out << c.data();
    return out;
}

void CalendarView::rebuild() {
    if (!built_) buildTree();
    const QString month = L::monthYear(ym_.year, ym_.month, L::lang());
    setFitted(titleLbl_, calendarWord() + QStringLiteral(" — ") + month);
    setFitted(monthLbl_, month);
    setFitted(hintLbl_, hintText());
    layoutHeader();
    layoutGrid();
}

void CalendarView::layoutGrid() {
    const double gW = scroll_->width();
    const BoardRules::CalMonth cm = BoardRules::buildCalMonth(TaskStore::shared().tasks(), ym_);
    const double contentH = std::max(double(scroll_->height()), cm.contentHeight() + kWeekdayH);
    content_->resize(int(gW), int(std::ceil(contentH)));

    if (weekdayRow_) weekdayRow_->deleteLater();
    auto *row = new TaggedView(kWeekdayTag, content_);
    UiKit::fillBackground(row, grey(1, 0.03));
    row->setGeometry(0, 0, int(gW), int(kWeekdayH));
    const QStringList names = weekdayNames();
    for (int i = 0; i < 7; ++i) {
        QLabel *l =
            label(row, 10, QFont::DemiBold,
                  i < 5 ? VF::sub() : alpha(QColor::fromRgbF(0.9f, 0.35f, 0.35f), 0.7), Qt::AlignCenter);
        place(l, QRect(int(i * gW / 7), 5, int(gW / 7), 16));
        setFitted(l, names.value(i));
    }
    row->show();
    weekdayRow_ = row;

    for (const auto &c : cells_) {
        if (!c) continue;
        c->hide();
        c->deleteLater();
    }
    cells_.clear();
    if (!cm.valid) return;

    const QDate today = Clock::get().today();
    const std::vector<double> weeks = BoardRules::fillWeeks(cm.weekHeights, contentH - kWeekdayH);
    std::vector<double> tops(weeks.size(), kWeekdayH);
    for (std::size_t w = 1; w < weeks.size(); ++w)
        tops[w] = tops[w - 1] + weeks[w - 1];
    const double colW = gW / 7;
    QPointer<CalendarView> self(this);
    for (int d = 1; d <= cm.days; ++d) {
        const int week = cm.weekOf(d), col = cm.columnOf(d);
        const bool isToday = today == QDate(ym_.year, ym_.month, d);
        auto *cell = new CalDayCell(d, ym_.month, ym_.year, cm.dayTasks[std::size_t(d - 1)], isToday,
                                    col >= 5, content_);
        const double x0 = std::round(colW * col), x1 = std::round(colW * (col + 1));
        const double y0 = std::round(tops[std::size_t(week)]),
                     y1 = std::round(tops[std::size_t(week)] + weeks[std::size_t(week)]);
        cell->setGeometry(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
        cell->onAdd = [self, d] {
            if (!self) return;
            self->selectDay(d);
            // After the click has been handled: the sheet's event loop never runs inside the cell.
            QTimer::singleShot(0, self, [self, d] {
                if (self) self->addTaskDialog(d);
            });
        };
        cell->show();
        cells_ << cell;
    }

    std::optional<std::vector<CalRightPanel::Row>> rows;
    if (selectedDay_ && *selectedDay_ >= 1 && *selectedDay_ <= cm.days)
        rows = CalRightPanel::rowsFor(cm.dayTasks[std::size_t(*selectedDay_ - 1)]);
    right_->setRows(rows);

    QTimer::singleShot(0, scroll_, [s = QPointer<QScrollArea>(scroll_)] {
        if (s) s->verticalScrollBar()->setValue(0);
    });
}

void CalendarView::navMonth(int delta) {
    ym_ = BoardRules::stepMonth(ym_, delta);
    const QDate t = Clock::get().today();
    selectedDay_ =
        (t.year() == ym_.year && t.month() == ym_.month) ? std::optional<int>(t.day()) : std::nullopt;
    requestRebuild();
}

void CalendarView::selectDay(std::optional<int> day) {
    selectedDay_ = day;
    requestRebuild();
}

// ---- right panel

CalRightPanel::CalRightPanel(QWidget *parent) : QWidget(parent) {}

QString CalRightPanel::Row::countText() const {
    return total > 0 ? QStringLiteral("%1/%2").arg(done).arg(total) : QStringLiteral("—");
}

std::vector<CalRightPanel::Row> CalRightPanel::rowsFor(const std::vector<Task> &dayTasks) {
    std::vector<Row> rows;
    for (TaskCat c : TaskCats::allCases) {
        Row r{c};
        const QString raw = TaskCats::rawValue(c);
        for (const Task &t : dayTasks) {
            if (t.category != raw) continue;
            ++r.total;
            if (t.completed) ++r.done;
        }
        rows.push_back(r);
    }
    return rows;
}

void CalRightPanel::setRows(const std::optional<std::vector<Row>> &rows) {
    rows_ = rows;
    update();
}

QFont CalRightPanel::headerFont() { return Fonts::scaledFont(9, QFont::DemiBold); }
QFont CalRightPanel::nameFont() { return Fonts::scaledFont(11); }
QFont CalRightPanel::countFont() { return Fonts::scaledFont(10, QFont::DemiBold); }
QString CalRightPanel::rowName(TaskCat cat) { return TaskCats::emoji(cat) + QLatin1Char(' ') + TaskCats::display(cat); }

// The design's frames (header 14 high, rows 38 apart, names 13 high) hold the texts at font scale
// 1.0 only: each line takes at least its font's height and the rows move apart to match, and the
// count, narrow as it is, leaves the rest of the row to the name.
CalRightPanel::Frames CalRightPanel::frames(double width) {
    constexpr double kInset = 14, kGap = 6;
    Frames f;
    const double headerH = std::max(14.0, double(TextFit::lineHeight(headerFont())));
    f.header = QRectF(kInset, 14, width - 2 * kInset, headerH);
    const double nameH = std::max(13.0, double(TextFit::lineHeight(nameFont())));
    const double countH = std::max(13.0, double(TextFit::lineHeight(countFont())));
    const double lineH = std::max(nameH, countH);
    const double pitch = std::max(38.0, lineH + 25);
    const QFontMetricsF cm(countFont());
    const double countW = std::max(38.0, std::ceil(cm.horizontalAdvance(QStringLiteral("88/88"))) + 2);
    double top = std::max(28.0, f.header.bottom() + 6);
    for (std::size_t i = 0; i < TaskCats::allCases.size(); ++i, top += pitch) {
        f.names.push_back(QRectF(kInset, top + 3, width - 2 * kInset - countW - kGap, lineH));
        f.counts.push_back(QRectF(width - kInset - countW, top + 3, countW, lineH));
        f.tracks.push_back(QRectF(kInset, top + 3 + lineH + 13, width - 2 * kInset, 3));
    }
    return f;
}

void CalRightPanel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double rW = width();
    QPainterPath bg;
    bg.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 10, 10);
    p.fillPath(bg, dark() ? QColor::fromRgbF(0.06f, 0.1f, 0.07f) : QColor(Qt::white));
    p.setPen(QPen(dark() ? grey(1, 0.07) : grey(0, 0.1), 0.5));
    p.drawPath(bg);
    const Frames f = frames(rW);
    p.setFont(headerFont());
    p.setPen(VF::sub());
    drawFitted(p, f.header, progressHeader(), Qt::AlignLeft | Qt::AlignVCenter);
    if (!rows_) return;
    for (std::size_t i = 0; i < rows_->size() && i < f.names.size(); ++i) {
        const Row &r = (*rows_)[i];
        const QColor cc = TaskCats::color(r.cat);
        p.setFont(nameFont());
        p.setPen(VF::text());
        drawFitted(p, f.names[i], rowName(r.cat), Qt::AlignLeft | Qt::AlignVCenter);
        p.setFont(countFont());
        p.setPen(cc);
        drawFitted(p, f.counts[i], r.countText(), Qt::AlignRight | Qt::AlignVCenter);
        if (r.total > 0) {
            const QRectF track = f.tracks[i];
            QPainterPath tp;
            tp.addRoundedRect(track, 1.5, 1.5);
            p.fillPath(tp, dark() ? grey(1, 0.07) : grey(0, 0.08));
            if (r.done > 0) {
                QPainterPath fp;
                fp.addRoundedRect(QRectF(track.x(), track.y(), track.width() * r.done / r.total, 3), 1.5,
                                  1.5);
                p.fillPath(fp, cc);
            }
        }
    }
}
