// The notes page's find bar and its highlights in the shown note.
#include "notes/NotesView.h"
#include "notes/NotesUi.h"

#include "notes/NoteFind.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include <QEvent>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <cmath>

using namespace NotesUi;

void NotesView::toggleFindBar() {
    if (!selectedNote()) return;
    if (findBarVisible_)
        hideFindBar();
    else
        showFindBar();
}

void NotesView::showFindBar() {
    if (findBarVisible_ && findField_) {
        findField_->setFocus();
        return;
    }
    findBarVisible_ = true;
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("findBar"));
    const bool dark = VF::theme() == AppTheme::dark;
    bar->setStyleSheet(QStringLiteral("QFrame#findBar{background:%1;border:0.5px solid %2;}")
                           .arg((dark ? QColor::fromRgbF(0.09f, 0.13f, 0.10f) : QColor::fromRgbF(0.96f, 0.97f, 1.0f)).name(),
                                findBarBorder().name(QColor::HexArgb)));
    auto *icon = label(bar, QStringLiteral("🔍"), 14, QFont::Normal, VF::text());
    auto *field = new QLineEdit(bar);
    field->setObjectName(QStringLiteral("findField"));
    field->setFont(Fonts::scaledFont(13));
    field->setPlaceholderText(NoteFind::placeholderText());
    auto *count = label(bar, QString(), 10, QFont::Normal, VF::muted());
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *prev = new QPushButton(QStringLiteral("◀"), bar);
    auto *next = new QPushButton(QStringLiteral("▶"), bar);
    auto *close = new QPushButton(QStringLiteral("✕"), bar);
    for (QPushButton *b : {prev, next, close}) {
        b->setFont(Fonts::scaledFont(11));
        b->setFocusPolicy(Qt::NoFocus);
    }
    QPointer<NotesView> self(this);
    connect(field, &QLineEdit::returnPressed, this, [self, field] { if (self) self->runFind(field->text()); });
    connect(prev, &QPushButton::clicked, this, [self] { if (self) self->stepFind(-1); });
    connect(next, &QPushButton::clicked, this, [self] { if (self) self->stepFind(1); });
    connect(close, &QPushButton::clicked, this, [self] { if (self) self->hideFindBar(); });
    // Escape closes the bar from anywhere in the window while it is shown, also after a click on a
    // note card or the grid took the focus away from the field.
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), bar, nullptr, nullptr, Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, [self] { if (self) self->hideFindBar(); });
    // Children follow the bar's width.
    struct Relayout : QObject {
        QWidget *icon, *field, *count, *prev, *next, *close;
        using QObject::QObject;
        bool eventFilter(QObject *o, QEvent *e) override {
            if (e->type() == QEvent::Resize) {
                const int B = static_cast<QWidget *>(o)->width();
                // The count takes what its longest text needs at the font scale; the field gives it up.
                const QFontMetricsF fm(count->font());
                const int countW = std::max(80, int(std::ceil(std::max(fm.horizontalAdvance(NoteFind::noResultsText()),
                                                                       fm.horizontalAdvance(QStringLiteral("999 / 999"))))) + 4);
                icon->setGeometry(10, 10, 22, 22);
                field->setGeometry(36, 9, std::max(40, B - 160 - countW), 24);
                count->setGeometry(B - 120 - countW, 13, countW, 16);
                prev->setGeometry(B - 118, 8, 36, 26);
                next->setGeometry(B - 80, 8, 36, 26);
                close->setGeometry(B - 40, 8, 30, 26);
            }
            return false;
        }
    };
    auto *rl = new Relayout(bar);
    rl->icon = icon, rl->field = field, rl->count = count, rl->prev = prev, rl->next = next, rl->close = close;
    bar->installEventFilter(rl);
    findBar_ = bar;
    findField_ = field;
    findCountLbl_ = count;
    bar->show();
    layoutFrame();
    QPointer<QLineEdit> f(field);
    QTimer::singleShot(0, this, [f] { if (f) f->setFocus(); });
}

void NotesView::hideFindBar() {
    findBarVisible_ = false;
    findQuery_.clear();
    findTextRanges_.clear();
    findCellMatches_.clear();
    findMatchIdx_ = 0;
    applyFindHighlights();
    if (findBar_) {
        findBar_->hide();
        findBar_->deleteLater();
    }
    findBar_ = nullptr;
    layoutFrame();
}

void NotesView::runFind(const QString &query) {
    findQuery_ = query;
    findTextRanges_.clear();
    findCellMatches_.clear();
    findMatchIdx_ = 0;
    const Note *n = selectedNote();
    if (query.isEmpty() || !n) {
        applyFindHighlights();
        if (findCountLbl_) findCountLbl_->setText(QString());
        return;
    }
    if (n->type == NoteType::table) {
        findCellMatches_ = NoteFind::tableMatches(*n, query);
    } else {
        // The text actually shown: the detail's document when it is built, else the note's own.
        const QString shown = contentTV_ ? contentTV_->document()->toPlainText() : NoteFind::shownText(*n);
        for (const NoteFind::Range &r : NoteFind::textMatches(shown, query)) findTextRanges_.emplace_back(r.start, r.length);
    }
    applyFindHighlights();
}

void NotesView::stepFind(int delta) {
    const int n = findMatchCount();
    if (n == 0 || !selectedNote()) return;
    findMatchIdx_ = NoteFind::step(findMatchIdx_, delta, n);
    applyFindHighlights();
}

int NotesView::findMatchCount() const {
    return int(findCellMatches_.empty() ? findTextRanges_.size() : findCellMatches_.size());
}

QString NotesView::findCountText() const {
    return findCountLbl_ ? findCountLbl_->text() : QString();
}

void NotesView::applyFindHighlights() {
    const int n = findMatchCount();
    if (findCountLbl_)
        findCountLbl_->setText(findQuery_.isEmpty() ? QString() : n == 0 ? NoteFind::noResultsText() : NoteFind::countText(findMatchIdx_, n));
    if (grid_) {
        std::optional<NoteGrid::CellPos> cur;
        if (!findCellMatches_.empty()) cur = findCellMatches_[size_t(findMatchIdx_)];
        grid_->setFindMatches(findCellMatches_, cur);
        if (cur && cur->row >= 0 && detailScroll_) {
            const QRect r = grid_->cellRect(*cur);
            detailScroll_->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 10, r.height() / 2 + 10);
        }
    }
    if (contentTV_) {
        QList<QTextEdit::ExtraSelection> sels;
        for (size_t i = 0; i < findTextRanges_.size(); ++i) {
            QTextEdit::ExtraSelection s;
            s.cursor = QTextCursor(contentTV_->document());
            s.cursor.setPosition(findTextRanges_[i].first);
            s.cursor.setPosition(findTextRanges_[i].first + findTextRanges_[i].second, QTextCursor::KeepAnchor);
            s.format.setBackground(int(i) == findMatchIdx_ ? QColor::fromRgbF(1.0f, 0.55f, 0.1f, 0.75f) : QColor::fromRgbF(1.0f, 0.85f, 0.2f, 0.55f));
            sels << s;
        }
        contentTV_->setExtraSelections(sels);
        if (!findTextRanges_.empty() && detailScroll_) {
            QTextCursor c(contentTV_->document());
            c.setPosition(findTextRanges_[size_t(findMatchIdx_)].first);
            const QRect r = contentTV_->cursorRect(c);
            const QPoint inDoc = contentTV_->viewport()->mapTo(detailScroll_->widget(), r.center());
            detailScroll_->ensureVisible(inDoc.x(), inDoc.y(), 20, 40);
        }
    }
}
