// The library list and the detail pane of the exercises page.
#include "exercises/ExerciseFormat.h"
#include "ui/DisplayText.h"
#include "exercises/ExerciseStore.h"
#include "exercises/ExerciseViews.h"
#include "exercises/ExercisesTexts.h"
#include "exercises/ExercisesView.h"
#include "platform/Dialogs.h"
#include "pomodoro/PomUi.h"
#include "ui/AW.h"
#include "ui/CommonAlerts.h"
#include "ui/FadedScroller.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

using namespace PomUi;

namespace {
QString stepsInfo(const Exercise &e) {
    return ExTexts::stepsCount(qint64(e.steps.size()));
}

// A label whose text is cut with "…" to its width, the whole text in the tooltip.
QLabel *fittedLabel(QWidget *parent, const QString &text, double size, QFont::Weight weight,
                    const QColor &color, const QRect &frame,
                    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    const QString whole = DisplayText::cut(text);
    QLabel *l = label(parent, whole, size, weight, color, align);
    l->setGeometry(frame);
    const QString shown = l->fontMetrics().elidedText(whole, Qt::ElideRight, frame.width());
    l->setText(shown);
    if (shown != whole) l->setToolTip(whole);
    return l;
}

TintButton *neutralButton(const QString &title, QWidget *parent) {
    auto *b = new TintButton(title, VF::sub(), 0, 0, 8, parent);
    const bool dark = VF::theme() == AppTheme::dark;
    b->setLook(VF::sub(), dark ? white(0.06) : QColor::fromRgbF(0, 0, 0, 0.04f),
               dark ? white(0.18) : QColor::fromRgbF(0, 0, 0, 0.15f));
    b->setFont(Fonts::scaledFont(12, QFont::Medium));
    return b;
}
} // namespace

void ExercisesView::rebuildList(double w) {
    if (w <= 0) w = listScroll_->width() > 0 ? listScroll_->width() : 260;
    std::vector<std::pair<QString, std::vector<ExerciseListView::Row>>> groups;
    for (const auto &[category, list] : ExerciseStore::shared().byCategory()) {
        std::vector<ExerciseListView::Row> rows;
        rows.reserve(list.size());
        for (const Exercise &e : list)
            rows.push_back({e.id, e.emoji, e.name,
                            stepsInfo(e) + QStringLiteral(" · ") + ExerciseFormat::durStr(e.totalDuration()),
                            hexColor(e.accentHex), selectedID_ && *selectedID_ == e.id});
        groups.push_back({category, std::move(rows)});
    }
    const double viewH = listScroll_->height();
    listContent_->setGroups(groups, w, viewH);
    // A list taller than its view gets a scroll bar beside it: lay it out again in the narrower width.
    const double barW = listScroll_->verticalScrollBar()->sizeHint().width();
    if (listContent_->height() > viewH && w > listScroll_->width() - barW)
        listContent_->setGroups(groups, listScroll_->width() - barW, viewH);
    if (revealSelection_) {
        revealSelection_ = false;
        for (const ExerciseListView::Item &it : listContent_->items())
            if (!it.isHeader && it.row.selected) {
                listScroll_->ensureVisible(0, int(it.y + it.h / 2), 0, int(it.h / 2) + 8);
                break;
            }
    }
}

void ExercisesView::rebuildDetail() {
    releaseAWs();
    clearChildren(detailHost_);
    const QRect b = detailHost_->rect();
    if (b.width() <= 10 || b.height() <= 10) return;
    if (selectedID_) {
        if (const Exercise *e = ExerciseStore::shared().find(*selectedID_)) {
            showDetail(*e);
            return;
        }
    }
    const double W = b.width(), H = b.height();
    QLabel *hint = fittedLabel(detailHost_, ExTexts::selectHint(), 15, QFont::Medium, VF::muted(),
                               QRect(0, 0, int(W), 30), Qt::AlignCenter);
    const int h = std::max(30, hint->fontMetrics().height());
    hint->setGeometry(yUp(H, 0, (H - h) * 0.5, W, h));
    hint->show();
}

void ExercisesView::showDetail(const Exercise &e) {
    const double W = detailHost_->width(), H = detailHost_->height();
    const QColor color = hexColor(e.accentHex);
    QPointer<ExercisesView> self(this);

    auto *strip = new QWidget(detailHost_);
    strip->setAutoFillBackground(true);
    QPalette sp = strip->palette();
    sp.setColor(QPalette::Window, color);
    strip->setPalette(sp);
    strip->setGeometry(yUp(H, 0, H - 4, W, 4));

    label(detailHost_, e.emoji, 40, QFont::Normal, VF::text(), Qt::AlignCenter)
        ->setGeometry(yUp(H, 28, H - 78, 52, 50));
    const int nameH = std::max(28, QFontMetrics(Fonts::scaledFont(22, QFont::Bold)).height());
    fittedLabel(detailHost_, e.name, 22, QFont::Bold, VF::text(),
                yUp(H, 84, H - 52 - (nameH - 28) / 2.0, W - 112, nameH));
    const QString info = e.category + QStringLiteral("  ·  ") + ExerciseFormat::durStr(e.totalDuration()) +
                         QStringLiteral("  ·  ") + stepsInfo(e);
    const int infoH = std::max(16, QFontMetrics(Fonts::scaledFont(11.5)).height());
    fittedLabel(detailHost_, info, 11.5, QFont::Normal, alpha(color, 0.85),
                yUp(H, 84, H - 72 - (infoH - 16) / 2.0, W - 112, infoH));

    const Exercise copy = e;
    auto *start = new TintButton(QStringLiteral("▶  ") + ExTexts::start(), color, 0.15, 0.45, 8, detailHost_);
    start->setObjectName(QStringLiteral("startButton"));
    start->setFont(Fonts::scaledFont(13, QFont::DemiBold));
    start->setGeometry(yUp(H, 28, H - 118, 180, 34));
    connect(start, &QPushButton::clicked, newAW([self, copy] {
                if (self) self->startExercise(copy);
            }),
            &AW::run);
    if (!e.isBuiltIn) {
        auto *edit = neutralButton(QStringLiteral("✏️ ") + ExTexts::edit(), detailHost_);
        edit->setObjectName(QStringLiteral("editButton"));
        edit->setGeometry(yUp(H, 214, H - 118, 148, 34));
        connect(edit, &QPushButton::clicked, newAW([self, copy] {
                    if (self) self->openEditor(copy);
                }),
                &AW::run);
        const QColor red = QColor::fromRgbF(1.0f, 0.4f, 0.4f);
        auto *del = new TintButton(QStringLiteral("🗑"), red, 0.12, 0.35, 8, detailHost_);
        del->setObjectName(QStringLiteral("deleteButton"));
        del->setFont(Fonts::scaledFont(12));
        del->setGeometry(yUp(H, 368, H - 118, 38, 34));
        connect(del, &QPushButton::clicked, newAW([self, copy] {
                    if (self) self->confirmDelete(copy);
                }),
                &AW::run);
    }
    const double D = (W - 64) * 0.5;
    auto *exp = neutralButton(QStringLiteral("📤  ") + ExTexts::exportThis(), detailHost_);
    exp->setObjectName(QStringLiteral("exportOneButton"));
    exp->setGeometry(yUp(H, 28, H - 162, D, 30));
    connect(exp, &QPushButton::clicked, newAW([self, copy] {
                if (self) self->doExportOne(copy);
            }),
            &AW::run);
    auto *imp = neutralButton(QStringLiteral("📥  ") + ExTexts::importOne(), detailHost_);
    imp->setObjectName(QStringLiteral("importOneButton"));
    imp->setGeometry(yUp(H, 36 + D, H - 162, D, 30));
    connect(imp, &QPushButton::clicked, newAW([self] {
                if (self) self->doImportOne();
            }),
            &AW::run);

    const int secH = std::max(12, QFontMetrics(Fonts::scaledFont(9, QFont::DemiBold)).height());
    fittedLabel(detailHost_, ExTexts::stepsHeader(), 9, QFont::DemiBold, VF::muted(),
                yUp(H, 28, H - 210 - (secH - 12) / 2.0, std::max(200.0, W - 56), secH));

    auto *steps = new StepListView;
    auto *scroll = new QScrollArea(detailHost_);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(false);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setAutoFillBackground(false);
    applyFadedScroller(scroll);
    scroll->setWidget(steps);
    scroll->setGeometry(yUp(H, 0, 0, W, std::max(H - 216, 60.0)));
    std::vector<StepListView::Step> list;
    list.reserve(e.steps.size());
    for (const ExerciseStep &s : e.steps)
        list.push_back({s.title, s.instruction, ExerciseFormat::durStr(s.durationSecs)});
    steps->setSteps(list, color, W, scroll->height());
    if (steps->height() > scroll->height())
        steps->setSteps(list, color, W - scroll->verticalScrollBar()->sizeHint().width(), scroll->height());
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->show();
}

void ExercisesView::confirmDelete(const Exercise &e) {
    Dialogs::Alert a;
    a.title = ExTexts::deleteQuestion();
    a.buttons = {ExTexts::deleteWord(), cancelTitle()};
    a.warning = true;
    if (Dialogs::get().alert(window(), a) != 0) return;
    ExerciseStore::shared().remove(e.id);
    selectedID_.reset();
}
