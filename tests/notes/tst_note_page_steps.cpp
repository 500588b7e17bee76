#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/PacedLayout.h"
#include "notes/RtfCodec.h"
#include "notes/TextViewOps.h"
#include "ui/Theme.h"
#include <QAbstractScrollArea>
#include <QFrame>
#include <QImage>
#include <QMap>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>
#include <memory>
#include <algorithm>
#include <vector>

// What the notes page's everyday steps (the find bar shown and hidden, Edit, Save) build again,
// draw again and scroll: only what they change, so each costs what it changes and not the page.
namespace {
void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// About `bytes` of numbered lines with bold words, an emoji and a link: a short note below 8 KB, a
// long one (shown by the view that lays out as it draws) above.
Note linkedNote(const QString &id, int bytes) {
    Note n = numberedNote(id, bytes, nullptr, QStringLiteral(" sit amet consectetur 🙂"));
    n.link = QStringLiteral("https://example.com/a");
    return n;
}

// Counts, from the time it is made, the paint events of the notes list (and the rectangles they
// drew) and the steps the detail's text is scrolled by: a move of what a scroll area around it
// shows, a value a text view's own scroll bar takes.
class Watch : public QObject {
public:
    explicit Watch(QWidget *page) : page_(page) { qApp->installEventFilter(this); }
    ~Watch() override { qApp->removeEventFilter(this); }
    int listPaints = 0;
    std::vector<QRect> listRects;
    int scrolls = 0;
    QMap<QString, int> paints; // by object name
    bool eventFilter(QObject *o, QEvent *e) override {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || !page_ || !page_->isAncestorOf(w)) return false;
        if (e->type() == QEvent::Paint && !w->objectName().isEmpty()) ++paints[w->objectName()];
        if (e->type() == QEvent::Paint && w->objectName() == QLatin1String("noteList")) {
            ++listPaints;
            listRects.push_back(static_cast<QPaintEvent *>(e)->rect());
        } else if (e->type() == QEvent::Move && w->parentWidget() &&
                   w->parentWidget()->objectName() == QLatin1String("qt_scrollarea_viewport") &&
                   w->parentWidget()->parentWidget() && w->parentWidget()->parentWidget()->inherits("QScrollArea") &&
                   static_cast<QMoveEvent *>(e)->pos() != static_cast<QMoveEvent *>(e)->oldPos()) {
            ++scrolls;
        } else if (e->type() == QEvent::Show) {
            // The bar of a text view that scrolls itself (a scroll area's bar moves what it shows).
            auto *bar = qobject_cast<QScrollBar *>(w);
            QWidget *area = bar && bar->parentWidget() ? bar->parentWidget()->parentWidget() : nullptr;
            if (bar && bar->orientation() == Qt::Vertical && area && area->inherits("QPlainTextEdit") && !bars_.contains(bar)) {
                bars_.push_back(bar);
                connect(bar, &QScrollBar::valueChanged, this, [this] { ++scrolls; });
            }
        }
        return false;
    }

private:
    QPointer<QWidget> page_;
    QList<QScrollBar *> bars_;
};

std::vector<Note> linkedNotes(int bytes) {
    std::vector<Note> notes;
    for (int i = 0; i < 4; ++i) notes.push_back(linkedNote(QStringLiteral("N%1").arg(i), bytes));
    return notes;
}

struct StepsPage : ShownNotesPage {
    explicit StepsPage(int bytes) : ShownNotesPage(linkedNotes(bytes)) {}
};

QAbstractScrollArea *scrollAreaAround(QWidget *w) {
    for (w = w->parentWidget(); w; w = w->parentWidget())
        if (w->inherits("QScrollArea")) return static_cast<QAbstractScrollArea *>(w);
    return nullptr;
}

QPushButton *button(QWidget *page, const char *name) {
    return page->findChild<QPushButton *>(QLatin1String(name));
}

// The text note's card shown on the page, in the page's coordinates.
QRect shownCard(QWidget *page) {
    QRect card;
    for (QFrame *f : page->findChildren<QFrame *>(QStringLiteral("contentBox")))
        if (f->isVisibleTo(page)) card = QRect(f->mapTo(page, QPoint()), f->size());
    return card;
}

// Compares what shot and settled show in area: the pixels of the ground (near the colour at ground)
// match, and the ink (pixels far from it) of each has ink of the other beside it (text drawn into a
// picture first and onto the card after is shaded a little differently at its edges). Empty when
// they do.
QString sameText(const QImage &shot, const QImage &settled, const QRect &area, QPoint ground) {
    const QColor g = settled.pixelColor(ground);
    const auto far = [](QColor a, QColor b, int by) {
        return std::abs(a.red() - b.red()) > by || std::abs(a.green() - b.green()) > by ||
               std::abs(a.blue() - b.blue()) > by;
    };
    const auto inkNear = [&](const QImage &image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (image.rect().contains(x + dx, y + dy) && far(image.pixelColor(x + dx, y + dy), g, 60)) return true;
        return false;
    };
    int ink = 0, inkMissed = 0, groundOff = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor a = shot.pixelColor(x, y), b = settled.pixelColor(x, y);
            const bool inkA = far(a, g, 60), inkB = far(b, g, 60);
            ink += inkB;
            if ((inkA && !inkNear(settled, x, y)) || (inkB && !inkNear(shot, x, y))) ++inkMissed;
            // Glyph edges blend with what lies under them: a picture drawn without a ground differs there.
            if (!far(b, g, 4) && far(a, g, 4) && !inkA && !inkNear(settled, x, y)) ++groundOff;
        }
    }
    if (ink == 0) return QStringLiteral("no text settled");
    if (inkMissed * 50 > ink || groundOff * 100 > area.width() * area.height())
        return QStringLiteral("%1 of %2 ink pixels elsewhere, %3 of the ground in another colour")
            .arg(inkMissed).arg(ink).arg(groundOff);
    return {};
}
} // namespace

class TestNotePageSteps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    void sizes_data() { shortAndLongRows("bytes"); }

    // The find bar takes its room from the detail, which is fitted to it: the page is not built
    // again (the detail's buttons are the same ones, the list is not drawn again), and hiding it
    // gives the room back the same way.
    void findBarFitsTheDetailInPlace_data() { sizes_data(); }
    void findBarFitsTheDetailInPlace() {
        QFETCH(int, bytes);
        StepsPage p(bytes);
        NotesView &page = *p.view;
        const QString id = p.notes[1].id;
        page.selectNote(id);
        QTRY_VERIFY(page.findView());
        settle();
        const QPointer<QPushButton> edit = button(&page, "editButton");
        QVERIFY(edit);
        QAbstractScrollArea *v = page.findView();
        const int rebuilds = page.rebuildCount();
        const int bottom = v->mapTo(&page, QPoint(0, v->height())).y();
        Watch watch(&page);
        page.showFindBar();
        settle();
        QVERIFY(page.findBarVisible());
        QCOMPARE(page.rebuildCount(), rebuilds);
        QVERIFY(edit && edit->isVisible());
        QCOMPARE(page.findView(), v);
        QCOMPARE(watch.listPaints, 0);
        // The text still ends above the bar: nothing of the detail lies under it.
        QWidget *bar = page.findChild<QWidget *>(QStringLiteral("findBar"));
        QVERIFY(bar && bar->isVisible());
        QWidget *shown = scrollAreaAround(v);
        QVERIFY(shown);
        QVERIFY(shown->mapTo(&page, QPoint(0, shown->height())).y() <= bar->y());
        page.hideFindBar();
        settle();
        QCOMPARE(page.rebuildCount(), rebuilds);
        QVERIFY(edit && edit->isVisible());
        QCOMPARE(watch.listPaints, 0);
        QCOMPARE(v->mapTo(&page, QPoint(0, v->height())).y(), bottom);
    }

    // The editor shown with the find bar open takes the bar's room alike, and gives it back.
    void findBarFitsTheEditorInPlace() {
        StepsPage p(4 * 1024);
        NotesView &page = *p.view;
        page.selectNote(p.notes[0].id);
        page.showInlineEditor(p.notes[0].id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        settle();
        QAbstractScrollArea *v = page.findView();
        const QPointer<QWidget> save = button(&page, "inlineSave");
        const int rebuilds = page.rebuildCount();
        const QRect was = v->geometry();
        page.showFindBar();
        settle();
        QCOMPARE(page.rebuildCount(), rebuilds);
        QVERIFY(save && save->isVisible());
        QCOMPARE(v->width(), was.width());
        QCOMPARE(v->height(), was.height() - 42);
        page.hideFindBar();
        settle();
        QCOMPARE(v->geometry(), was);
    }

    // Edit swaps the detail for the editor and Save swaps it back: the list is not drawn again for
    // Edit, and for Save only the card of the note saved is.
    void editAndSaveDrawOnlyTheCardSaved_data() { sizes_data(); }
    void editAndSaveDrawOnlyTheCardSaved() {
        QFETCH(int, bytes);
        StepsPage p(bytes);
        NotesView &page = *p.view;
        const QString id = p.notes[2].id;
        page.selectNote(id);
        QTRY_VERIFY(page.findView());
        settle();
        Watch watch(&page);
        page.showInlineEditor(id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        settle();
        QCOMPARE(watch.listPaints, 0);
        // The detail the editor replaced is not drawn again on its way out.
        QCOMPARE(watch.paints.value(QStringLiteral("editButton")), 0);
        QVERIFY(watch.paints.value(QStringLiteral("inlineSave")) > 0);
        QTextCursor c(TextViewOps::document(page.findView()));
        c.insertText(QStringLiteral("Typed "));
        watch.paints.clear();
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.findView() && !page.longSavePending());
        QTRY_VERIFY(NoteStore::shared().find(id)->body.startsWith(QStringLiteral("Typed ")));
        settle();
        QCOMPARE(watch.paints.value(QStringLiteral("inlineSave")), 0);
        QVERIFY(watch.paints.value(QStringLiteral("editButton")) > 0);
        QVERIFY(watch.listPaints > 0);
        for (const QRect &r : watch.listRects) QVERIFY2(r.height() <= 64, qPrintable(QStringLiteral("%1 px high").arg(r.height())));
    }

    // After Save the detail is put at the reader's place once: not first where it was before the
    // editor opened and then moved on.
    void saveScrollsTheDetailOnce_data() { sizes_data(); }
    void saveScrollsTheDetailOnce() {
        QFETCH(int, bytes);
        StepsPage p(bytes);
        NotesView &page = *p.view;
        const QString id = p.notes[0].id;
        page.selectNote(id);
        QTRY_VERIFY(page.findView());
        settle();
        // The detail scrolled before the editor opens: where it was is not where the reader is after.
        if (QAbstractScrollArea *outer = scrollAreaAround(page.findView())) outer->verticalScrollBar()->setValue(40);
        settle();
        page.showInlineEditor(id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        settle();
        QAbstractScrollArea *editor = page.findView();
        QTextDocument *doc = TextViewOps::document(editor);
        TextViewOps::scrollToTop(editor, doc->findBlockByNumber(doc->blockCount() / 2).position());
        settle();
        Watch watch(&page);
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.findView() && !page.longSavePending());
        settle();
        QVERIFY2(watch.scrolls <= 1, qPrintable(QStringLiteral("%1 scrolls").arg(watch.scrolls)));
    }

    // Save of a note of tens of kilobytes goes on showing the document just edited in the same view,
    // at the reader's place and read-only: the view is not made again, nor the document built again.
    void saveKeepsTheViewAndThePlace_data() {
        QTest::addColumn<int>("bytes");
        QTest::newRow("12 KB") << 12 * 1024;
        QTest::newRow("60 KB") << 60 * 1024;
    }
    void saveKeepsTheViewAndThePlace() {
        QFETCH(int, bytes);
        StepsPage p(bytes);
        NotesView &page = *p.view;
        const QString id = p.notes[1].id;
        page.selectNote(id);
        page.showInlineEditor(id);
        QTRY_VERIFY(page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        settle();
        const QPointer<NoteTextView> editor = page.inlineTextView();
        const QPointer<QTextDocument> doc = editor->document();
        TextViewOps::scrollToTop(editor, doc->findBlockByNumber(doc->blockCount() / 2).position());
        settle();
        const int place = TextViewOps::firstVisiblePosition(editor);
        QTextCursor c(doc.data());
        c.setPosition(place);
        c.insertText(QStringLiteral("Typed "));
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.contentView());
        settle();
        QCOMPARE(page.contentView(), editor.data());
        QCOMPARE(page.contentView()->document(), doc.data());
        QVERIFY(page.contentView()->isReadOnly() && !doc->isModified());
        QCOMPARE(TextViewOps::firstVisiblePosition(page.contentView()), place);
        QCOMPARE(NoteStore::shared().find(id)->body, page.contentView()->wholeText());
    }

    // A long note edited and saved comes back as the document edited, shown at the place the editor
    // showed. Taking the document, building the detail again and going to the place are three
    // stretches: in the turn the document comes back, it goes into the view showing the note and no
    // screenful is laid out, and the view is at the place once it draws.
    void aSavedLongNoteIsShownAtTheEditorsPlaceOverTurns() {
        StepsPage p(300 * 1024);
        NotesView &page = *p.view;
        const QString id = p.notes[1].id;
        page.selectNote(id);
        QTRY_VERIFY(page.findView());
        settle();
        page.showInlineEditor(id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        settle();
        QAbstractScrollArea *editor = page.findView();
        QTextDocument *doc = TextViewOps::document(editor);
        QTextCursor(doc).insertText(QStringLiteral("Typed "));
        TextViewOps::scrollToTop(editor, doc->findBlockByNumber(doc->blockCount() / 2).position());
        settle();
        const int place = TextViewOps::firstVisiblePosition(editor);
        QVERIFY(place > 0);
        page.saveInlineEditor();
        // The detail shown while the text is read is built long before it comes back.
        QCoreApplication::sendPostedEvents(&page, QEvent::MetaCall);
        QVERIFY(NoteDocument::settleSaves(60'000)); // the turn the saved document comes back in
        const auto linesAbove = [doc] {
            std::vector<int> lines;
            for (QTextBlock b = doc->firstBlock(); b.blockNumber() < doc->blockCount() * 3 / 4; b = b.next())
                lines.push_back(b.layout()->lineCount());
            return lines;
        };
        const std::vector<int> laidOutBefore = linesAbove();
        QVERIFY(std::any_of(laidOutBefore.begin(), laidOutBefore.end(), [](int n) { return n > 0; }));
        // Stored in that turn; the view takes the document in the next one, on its own and hidden,
        // and the detail is built around it in the turn after that.
        QVERIFY(NoteStore::shared().find(id)->body.startsWith(QStringLiteral("Typed ")));
        QVERIFY(page.longTextView() && page.longTextView()->document() != doc);
        QVERIFY(!page.longTextView()->isVisible());
        QCoreApplication::sendPostedEvents();
        QVERIFY(page.longTextView() && page.longTextView()->document() == doc);
        QVERIFY(!page.longTextView()->isVisible());
        QVERIFY(page.rebuildPending());
        QCoreApplication::sendPostedEvents();
        QVERIFY(page.findView() && TextViewOps::document(page.findView()) == doc);
        // Taking the document goes over none of its paragraphs: those the editor laid out keep their
        // lines (the view is as wide), and only the last ones, which size the scroll bar, may be laid
        // out in that turn: none at the top, none at the place.
        QVERIFY(linesAbove() == laidOutBefore);
        QTRY_VERIFY(!page.rebuildPending() && !page.longSavePending());
        settle();
        QAbstractScrollArea *shown = page.findView();
        QVERIFY(shown && TextViewOps::isReadOnly(shown) && TextViewOps::document(shown) == doc);
        QCOMPARE(TextViewOps::firstVisiblePosition(shown), place);
        QVERIFY(shown->viewport()->updatesEnabled());
        QVERIFY(doc->toPlainText().startsWith(QStringLiteral("Typed ")));
        QVERIFY(NoteStore::shared().find(id)->body.startsWith(QStringLiteral("Typed ")));
    }

    // While a long note's saved text is read on a worker and handed back, the card shows the text as
    // the detail shows it once settled: the picture of the editor's lines at the view's place, on the
    // card's colour (not the editor's lighter ground), as tall as the view, then the lines themselves.
    void aLongNoteBeingSavedShowsItsTextWhereTheDetailWill() {
        StepsPage p(300 * 1024);
        NotesView &page = *p.view;
        VF::setTheme(AppTheme::dark); // the editor's ground is lighter than the card there
        page.setup();
        settle();
        const QString id = p.notes[1].id;
        page.selectNote(id);
        QTRY_VERIFY(page.findView());
        settle();
        page.showInlineEditor(id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        settle();
        QAbstractScrollArea *editor = page.findView();
        QTextDocument *doc = TextViewOps::document(editor);
        QTextCursor(doc).insertText(QStringLiteral("Typed "));
        TextViewOps::scrollToTop(editor, doc->findBlockByNumber(doc->blockCount() / 2).position());
        settle();
        page.saveInlineEditor();
        QCoreApplication::sendPostedEvents(&page, QEvent::MetaCall); // the detail, built while it is read
        const QRect card = shownCard(&page);
        QVERIFY(!card.isEmpty());
        std::vector<std::pair<const char *, QImage>> moments{{"while read", page.grab(card).toImage()}};
        QVERIFY(NoteDocument::settleSaves(60'000));
        moments.emplace_back("handed back", page.grab(card).toImage());
        QCoreApplication::sendPostedEvents(); // taken by the view
        moments.emplace_back("taken", page.grab(card).toImage());
        QCoreApplication::sendPostedEvents(); // the detail built around it
        moments.emplace_back("built", page.grab(card).toImage());
        QTRY_VERIFY(!page.rebuildPending() && !page.longSavePending());
        settle();
        QCOMPARE(shownCard(&page), card);
        QAbstractScrollArea *shown = page.findView();
        QVERIFY(shown && TextViewOps::document(shown) == doc);
        const QImage settled = page.grab(card).toImage();
        const QRect lines(shown->viewport()->mapTo(&page, QPoint()) - card.topLeft(), shown->viewport()->size());
        // From the card's edge, past the room left of the text, to the scroll bar.
        const QRect area = QRect(QPoint(2, lines.top()), lines.bottomRight()).intersected(settled.rect());
        for (const auto &[when, image] : moments)
            QVERIFY2(sameText(image, settled, area, QPoint(4, lines.center().y())).isEmpty(),
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(when),
                                                            sameText(image, settled, area, QPoint(4, lines.center().y())))));
    }

    // The caret's blink asks where the caret is, which the view finds by going over the paragraphs
    // from the top of the screen towards it: with the caret far below, paragraphs slow to lay out
    // (lines of emoji) are laid out a turn's worth at a time, the rest put off, not a screenful at once.
    // A step of find that wraps around to a match far from the one shown brings it into view, as
    // one to the next match does: at 1 MB, ◀ from the first match goes to the last one held.
    void aFindWrappingAroundShowsTheMatch() {
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("F"), 1 << 20, &needles);
        ShownNotesPage p({n});
        NotesView &page = *p.view;
        page.selectNote(n.id);
        // The megabyte's document is built on a worker, however slow the machine.
        QTRY_VERIFY_WITH_TIMEOUT(page.findView(), 60000);
        page.showFindBar();
        settle();
        page.runFind(QStringLiteral("needle"));
        QTRY_VERIFY(!page.findCounting() && page.findMatchCount() > 100);
        const int count = page.findMatchCount();
        const auto shown = [&](int index) {
            QCOMPARE(page.findCurrentIndex(), index);
            QTRY_VERIFY2(onScreen(page.findView(), page.findTextRanges()[size_t(index)].first),
                         qPrintable(QStringLiteral("match %1 of %2 not shown").arg(index + 1).arg(count)));
        };
        shown(0);
        page.stepFind(-1);
        shown(count - 1);
        page.stepFind(1);
        shown(0);
        page.stepFind(-1);
        shown(count - 1);
        page.stepFind(-1);
        shown(count - 2);
    }

    void aBlinkWithTheCaretFarBelowLaysOutATurnsWorth() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        QString body;
        for (int i = 0; i < 300; ++i)
            body += QStringLiteral("%1 %2\n").arg(i).arg(QString(QStringLiteral("🙂🎉🔥😀🚀🌟💡🍀")).repeated(5));
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Emoji lines"));
        n.body = body;
        NoteStore::shared().add(n);
        NotesView page;
        page.resize(1000, 900);
        page.setup();
        page.show();
        settle();
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        NoteTextView *v = page.inlineTextView();
        QTextDocument *doc = v->document();
        auto *layout = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(layout);
        QObject *control = nullptr;
        for (QObject *o : v->children())
            if (o->inherits("QWidgetTextControl")) control = o;
        QVERIFY(control);
        // The blink's timer, seen as it fires (before the view's own filter takes its event).
        struct BlinkTimer : QObject {
            int id = 0;
            bool eventFilter(QObject *, QEvent *e) override {
                if (e->type() == QEvent::Timer) id = static_cast<QTimerEvent *>(e)->timerId();
                return false;
            }
        } blink;
        v->setFocus();
        control->installEventFilter(&blink);
        QTRY_VERIFY(blink.id != 0);
        control->removeEventFilter(&blink);
        // The caret at the end, the view at the top: a screenful of emoji lines lies between them.
        QTextCursor end(doc);
        end.movePosition(QTextCursor::End);
        v->setTextCursor(end);
        v->verticalScrollBar()->setValue(0);
        QTRY_VERIFY(!layout->puttingOff());
        settle();
        QCOMPARE(v->cursorForPosition(QPoint(0, 0)).blockNumber(), 0);
        int screenful = 0;
        qreal y = 0;
        for (QTextBlock b = doc->firstBlock(); b.isValid() && y < v->viewport()->height(); b = b.next(), ++screenful)
            y += layout->blockBoundingRect(b).height();
        QVERIFY2(screenful >= 8, qPrintable(QString::number(screenful)));
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            if (!b.contains(end.position())) b.clearLayout();
        // Every look at the time finds a millisecond more gone, as on a machine slow enough for a
        // turn to hold two paragraphs or three, however fast this one is.
        TestSteadyClock clock;
        clock.setStepMs(1);
        const int before = layout->paragraphsLaidOut();
        QTimerEvent tick(blink.id);
        QCoreApplication::sendEvent(control, &tick);
        const int laidOut = layout->paragraphsLaidOut() - before;
        QVERIFY2(layout->puttingOff() && laidOut < screenful / 2,
                 qPrintable(QStringLiteral("%1 laid out of a screenful of %2").arg(laidOut).arg(screenful)));
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestNotePageSteps)
#include "tst_note_page_steps.moc"
