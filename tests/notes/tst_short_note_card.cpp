#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/PacedLayout.h"
#include "notes/RtfCodec.h"
#include "notes/TextViewOps.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

Q_DECLARE_METATYPE(AppLang)

// A short text note is shown whole on a card as tall as its text: the card holds every line the
// view draws, and the lines are laid out once, by the view's own layout, on open and on Save.
namespace {
void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// A line written in the language, with its own letters.
QString sentence(AppLang lang) {
    switch (lang) {
    case AppLang::en:
        return QStringLiteral("Buy milk and bread on the way home, then call Jo");
    case AppLang::es:
        return QStringLiteral("¿Comprar leche y pan de camino a casa? Sí, mañana");
    case AppLang::de:
        return QStringLiteral("Milch und Brot auf dem Heimweg kaufen, Grüße an Jörg");
    case AppLang::fr:
        return QStringLiteral("Acheter du lait et du pain en rentrant, ça coûte peu");
    case AppLang::uk:
        return QStringLiteral("Купити молоко й хліб дорогою додому, ґанок і їжак");
    case AppLang::pl:
        return QStringLiteral("Kupić mleko i chleb w drodze do domu, źdźbło żółwia");
    }
    return {};
}

// The kinds of short note whose lines differ in height: one line, a line wrapped many times, a list
// with a line in a larger size (rich), a line among emoji (taller than the letters).
Note shortNote(const QString &kind, AppLang lang) {
    const QString s = sentence(lang);
    if (kind == QLatin1String("one line")) return textNote(QStringLiteral("C"), s);
    if (kind == QLatin1String("wrapped")) return textNote(QStringLiteral("C"), QStringList(12, s).join(u' '));
    if (kind == QLatin1String("emoji"))
        return textNote(QStringLiteral("C"),
                        QStringLiteral("🙂🎉 ") + s + QStringLiteral(" 👍🏽❤️🚀"));
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain, big;
    big.setProperty(QTextFormat::FontPixelSize, 22);
    c.insertText(s + QStringLiteral(":\n"), big);
    for (int i = 0; i < 4; ++i)
        c.insertText(QStringLiteral("• %1 %2\n").arg(s).arg(i), plain);
    c.insertText(QStringLiteral("• ") + s, big);
    Note n = textNote(QStringLiteral("C"), doc.toPlainText());
    n.bodyRTF = RtfCodec::write(doc);
    return n;
}

// The bottom of the last line the view draws, in its card's coordinates.
int lastLineBottom(NoteTextView *v, QWidget *box) {
    QTextCursor end(v->document());
    end.movePosition(QTextCursor::End);
    return v->viewport()->mapTo(box, v->cursorRect(end).bottomLeft()).y() + 1;
}

// The card holds the view's text whole: nothing scrolls, the last line ends 10 above the card's
// bottom (and not far above it).
void checkCardHoldsText(NoteTextView *v) {
    QWidget *box = v->parentWidget();
    QVERIFY(box && box->objectName() == QLatin1String("contentBox"));
    QCOMPARE(v->verticalScrollBar()->maximum(), 0);
    const int bottom = lastLineBottom(v, box);
    const int least = 40; // a card of a line or two is this tall
    QVERIFY2(bottom <= box->height() - 10 && (bottom >= box->height() - 13 || box->height() == least),
             qPrintable(QStringLiteral("text ends at %1 in a card %2 high").arg(bottom).arg(box->height())));
}

struct ShortPage : ShownNotesPage {
    explicit ShortPage(const Note &n, double scale = 1.0, AppLang lang = AppLang::en) : ShownNotesPage({n}, scale, lang) {}
};

NoteDocument::PacedLayout *pacedLayout(QAbstractScrollArea *v) {
    QTextDocument *doc = v ? TextViewOps::document(v) : nullptr;
    return doc ? dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout()) : nullptr;
}

// Notes, at their first paint, how many paragraphs the text view had laid out and whether all were.
class FirstPaint : public QObject {
public:
    FirstPaint() { qApp->installEventFilter(this); }
    ~FirstPaint() override { qApp->removeEventFilter(this); }
    int laidOut = -1;
    bool whole = false;
    bool eventFilter(QObject *o, QEvent *e) override {
        auto *w = qobject_cast<QWidget *>(o);
        auto *v = w ? qobject_cast<NoteTextView *>(w->parentWidget()) : nullptr;
        if (laidOut >= 0 || e->type() != QEvent::Paint || !v || w != v->viewport()) return false;
        if (NoteDocument::PacedLayout *layout = pacedLayout(v); layout && v->document()->characterCount() > 1) {
            laidOut = layout->paragraphsLaidOut();
            whole = true;
            for (QTextBlock b = v->document()->firstBlock(); b.isValid(); b = b.next())
                whole = whole && b.layout() && b.layout()->lineCount() > 0;
        }
        return false;
    }
};

// Watches the detail while a note is opened: the views of text painted in it and what they showed,
// and, when the first widget of the next detail is made, the text view the page holds then.
class DetailWatch : public QObject {
public:
    DetailWatch(NotesView &page, QString before) : page_(page), before_(std::move(before)) {
        host_ = page.findChild<QWidget *>(QStringLiteral("detailHost"));
        host_->installEventFilter(this);
        qApp->installEventFilter(this);
    }
    ~DetailWatch() override { qApp->removeEventFilter(this); }
    // At the first widget of the next detail: the view's document, its paragraphs laid out so far,
    // and whether every one was.
    QPointer<QTextDocument> builtWith;
    int laidOutThen = -1;
    bool wholeThen = false;
    // A card painted without the text it had, or with another's before the detail was built again.
    QStringList wrongPaints;
    bool eventFilter(QObject *o, QEvent *e) override {
        if (o == host_ && e->type() == QEvent::ChildAdded && laidOutThen < 0 &&
            static_cast<QChildEvent *>(e)->child()->isWidgetType()) {
            NoteTextView *v = page_.longTextView();
            if (v && v->document()) {
                builtWith = v->document();
                laidOutThen = pacedLayout(v) ? pacedLayout(v)->paragraphsLaidOut() : 0;
                wholeThen = true;
                for (QTextBlock b = v->document()->firstBlock(); b.isValid(); b = b.next())
                    wholeThen = wholeThen && b.layout() && b.layout()->lineCount() > 0;
            }
        }
        auto *box = qobject_cast<QWidget *>(o);
        if (e->type() == QEvent::Paint && laidOutThen < 0 && box &&
            box->objectName() == QLatin1String("contentBox") && host_->isAncestorOf(box)) {
            const auto *v = box->findChild<NoteTextView *>();
            const QString shown = v && v->isVisible() ? v->wholeText() : QString();
            if (shown != before_) wrongPaints << shown.left(40);
        }
        return false;
    }

private:
    NotesView &page_;
    QString before_;
    QPointer<QWidget> host_;
};
} // namespace

class TestShortNoteCard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }
    void cleanup() {
        L::setLang(AppLang::en);
        VF::setFontScale(1.0);
    }

    // At every font scale and in every language, the card of each kind of short note is as tall as
    // the lines the view draws: its last line is never cut, and the view never scrolls within it.
    void theCardHoldsEveryLine_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("scale");
        QTest::addColumn<AppLang>("lang");
        for (const char *kind : {"one line", "wrapped", "list", "emoji"})
            for (double scale : {1.0, 1.15, 1.3})
                for (AppLang lang : AppLangs::allCases)
                    QTest::addRow("%s %.2f %s", kind, scale, qPrintable(AppLangs::rawValue(lang)))
                        << QString::fromLatin1(kind) << scale << lang;
    }
    void theCardHoldsEveryLine() {
        QFETCH(QString, kind);
        QFETCH(double, scale);
        QFETCH(AppLang, lang);
        const Note n = shortNote(kind, lang);
        QVERIFY(!NoteDocument::isLong(n));
        ShortPage p(n, scale, lang);
        p.view->selectNote(n.id);
        QTRY_VERIFY(p.view->contentView());
        settle();
        checkCardHoldsText(p.view->contentView());
    }

    // Opening a short note lays each paragraph out once, before the text is first drawn: the card's
    // height is measured on the lines the view then draws, not on lines of its own.
    void openingLaysTheTextOutOnce_data() {
        QTest::addColumn<int>("bytes");
        QTest::newRow("one line") << 0;
        QTest::newRow("4 KB rich") << 4 * 1024;
    }
    void openingLaysTheTextOutOnce() {
        QFETCH(int, bytes);
        const Note note = bytes == 0 ? textNote(QStringLiteral("C"), sentence(AppLang::en))
                                     : richNote(QStringLiteral("C"), bytes);
        ShortPage p(note);
        FirstPaint first;
        p.view->selectNote(note.id);
        QTRY_VERIFY(p.view->contentView() && first.laidOut >= 0);
        settle();
        NoteTextView *v = p.view->contentView();
        const int paragraphs = v->document()->blockCount();
        QVERIFY(first.whole);
        QCOMPARE(first.laidOut, paragraphs);
        QCOMPARE(pacedLayout(v)->paragraphsLaidOut(), paragraphs);
        checkCardHoldsText(v);
    }

    // A short note's text is laid out at its card's width before the detail is built (over a few
    // turns when long): the turn that builds it, and its first paint, lay nothing out. Meanwhile the
    // detail shown before stays as it was, its card with its own text.
    void theCardIsBuiltOnItsTextLaidOut() {
        const Note before = textNote(QStringLiteral("A"), sentence(AppLang::en));
        const Note opened = richNote(QStringLiteral("B"), int(NoteDocument::kLongChars) - 512);
        QVERIFY(!NoteDocument::isLong(opened));
        ShownNotesPage p({before, opened});
        NotesView &page = *p.view;
        page.selectNote(before.id);
        QTRY_VERIFY(page.contentView());
        settle();
        for (int round = 0; round < 2; ++round) {
            DetailWatch watch(page, round == 0 ? before.body : opened.body);
            FirstPaint first;
            page.selectNote(round == 0 ? opened.id : before.id);
            QTRY_VERIFY(watch.laidOutThen >= 0 && first.laidOut >= 0);
            settle();
            NoteTextView *v = page.contentView();
            QVERIFY(v);
            const QString text = round == 0 ? opened.body : before.body;
            QCOMPARE(v->wholeText(), text);
            QCOMPARE(watch.builtWith.data(), v->document());
            QVERIFY(watch.wholeThen);
            QCOMPARE(first.laidOut, watch.laidOutThen);
            QCOMPARE(pacedLayout(v)->paragraphsLaidOut(), watch.laidOutThen);
            QCOMPARE(watch.laidOutThen, v->document()->blockCount());
            QVERIFY2(watch.wrongPaints.isEmpty(), qPrintable(watch.wrongPaints.join(u'|')));
            checkCardHoldsText(v);
            // Its Edit goes on with the same document.
            const QPointer<QTextDocument> doc = v->document();
            page.showInlineEditor(round == 0 ? opened.id : before.id);
            QTRY_VERIFY(page.inlineTextView() && !page.inlineTextView()->isReadOnly());
            QCOMPARE(page.inlineTextView()->document(), doc.data());
            page.cancelInlineEditor();
            QTRY_VERIFY(page.contentView());
            settle();
        }
    }

    // Save shows the document just edited, its lines as they were laid out in the editor: nothing
    // is built again from the text stored or laid out anew, and the card grows with the lines added.
    void saveKeepsTheLinesLaidOut() {
        const Note n = richNote(QStringLiteral("C"), 4 * 1024);
        ShortPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.contentView());
        settle();
        const int cardBefore = page.contentView()->parentWidget()->height();
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        settle();
        NoteTextView *editor = page.inlineTextView();
        const QPointer<QTextDocument> doc = editor->document();
        QTextCursor c(doc.data());
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral("\nA line added at the end"));
        editor->setTextCursor(c);
        c.movePosition(QTextCursor::Start);
        c.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
        editor->setTextCursor(c); // a selection made in the editor is not shown in the detail
        settle();
        const int laidOut = pacedLayout(editor)->paragraphsLaidOut();
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.contentView());
        settle();
        NoteTextView *v = page.contentView();
        QCOMPARE(v->document(), doc.data());
        QVERIFY(v->isReadOnly() && !doc->isModified());
        QVERIFY(!v->textCursor().hasSelection());
        QVERIFY2(pacedLayout(v)->paragraphsLaidOut() <= laidOut + 1,
                 qPrintable(QStringLiteral("%1 laid out, %2 before")
                                .arg(pacedLayout(v)->paragraphsLaidOut())
                                .arg(laidOut)));
        const Note *stored = NoteStore::shared().find(n.id);
        QVERIFY(stored && stored->body.endsWith(QStringLiteral("\nA line added at the end")));
        QCOMPARE(v->wholeText(), stored->body);
        QVERIFY(v->parentWidget()->height() > cardBefore);
        checkCardHoldsText(v);
        // Shown again later, it is the stored text, and Edit goes on with the same document.
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        QCOMPARE(page.inlineTextView()->wholeText(), stored->body);
    }

    // Saved while read from the middle of a line of emoji, where the row at the top is shared by two
    // pieces of the line (the first line of the lower one only as wide as what the row left it): the
    // detail shows the lines as the editor laid them out, none laid out again.
    void saveFromTheMiddleOfALineOfEmojiLaysNothingOut() {
        QString line; // short enough to be shown on a card, and taller than the editor
        while (line.size() < 7800)
            line += QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example ");
        const Note n = textNote(QStringLiteral("C"), line);
        ShortPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.contentView());
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        NoteTextView *editor = page.inlineTextView();
        const QPointer<QTextDocument> doc = editor->document();
        NoteDocument::PacedLayout *layout = pacedLayout(editor);
        QVERIFY(layout);
        // Laid out a turn's time at a time: a loaded or instrumented build takes many more turns.
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff() && !layout->guessedHeights(), 60000);
        settle();
        QScrollBar *bar = editor->verticalScrollBar();
        const auto sharedRowAtTop = [&] {
            // The view's top paragraph: the one holding the row its scroll bar is at.
            const QTextBlock b = doc->findBlockByLineNumber(bar->value());
            return NoteDocument::continues(b) && b.layout()->lineCount() > 0 &&
                   b.layout()->lineAt(0).x() > doc->documentMargin();
        };
        QVERIFY(bar->maximum() > 0);
        while (!sharedRowAtTop() && bar->value() < bar->maximum()) {
            bar->setValue(bar->value() + 1);
            settle();
        }
        QVERIFY(sharedRowAtTop());
        const int laidOut = layout->paragraphsLaidOut();
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.contentView());
        settle();
        QCOMPARE(page.contentView()->document(), doc.data());
        QCOMPARE(layout->paragraphsLaidOut(), laidOut);
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            QVERIFY(b.layout()->lineCount() > 0);
    }
};

QTEST_MAIN(TestShortNoteCard)
#include "tst_short_note_card.moc"
