#include "common/TestEnv.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteDocument.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/PastedLinks.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <memory>

// The web addresses of a paste too long to put in at once become links after it, in the inline
// editor and in the note editor dialog, as the view marks the others: never stored, and never put on
// text an edit made meanwhile moved.
namespace {
void settle() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

// Lines of words, every `every`th holding an address, until the text is `chars` long.
QString addressLines(int chars, int every) {
    QString s;
    for (int i = 0; s.size() < chars; ++i)
        s += i % every ? QStringLiteral("plain words of line %1\n").arg(i)
                       : QStringLiteral("see https://example.org/page%1 there\n").arg(i);
    return s;
}

// The detected links of doc, each run of one address joined, as findLinks() reports addresses.
std::vector<std::tuple<int, int, QString>> detected(const QTextDocument &doc) {
    std::vector<std::tuple<int, int, QString>> out;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat fmt = f.charFormat();
            if (!fmt.boolProperty(RichTextView::kAutoLinkProperty)) continue;
            if (!out.empty() && std::get<0>(out.back()) + std::get<1>(out.back()) == f.position() &&
                std::get<2>(out.back()) == fmt.anchorHref())
                std::get<1>(out.back()) += f.length();
            else
                out.emplace_back(f.position(), f.length(), fmt.anchorHref());
        }
    return out;
}

std::vector<std::tuple<int, int, QString>> addresses(const QTextDocument &doc) {
    std::vector<std::tuple<int, int, QString>> out;
    for (const NoteDocument::FoundLink &l : NoteDocument::findLinks(doc, 0, doc.characterCount()))
        out.emplace_back(l.start, l.length, l.href);
    return out;
}

bool marking(QWidget *view) {
    return !view->findChildren<PastedLinks *>().isEmpty();
}
} // namespace

class TestPastedLinks : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // In the inline editor of a long note: the paste's addresses are links once it is in, the same
    // links as the note's own addresses got; one undo takes the paste with its links, redo brings
    // both; Save stores the text and no link.
    void theEditorLinksALongPaste() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Long"));
        n.id = QStringLiteral("L");
        n.body = QStringLiteral("first https://kept.example/x\n") + addressLines(12 * 1024, 5);
        NoteStore::shared().add(n);
        {
            NotesView page;
            page.resize(1000, 700);
            page.setup();
            page.show();
            settle();
            page.selectNote(n.id);
            page.showInlineEditor(n.id);
            QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
            QTextDocument *doc = page.longTextView()->document();
            const auto before = detected(*doc);
            QCOMPARE(before, addresses(*doc));
            const QString textBefore = NoteDocument::wholeText(*doc);
            const QString pasted = addressLines(100 * 1024, 3);
            QVERIFY(pasted.size() > NoteDocument::kPasteLaterChars);
            QGuiApplication::clipboard()->setText(pasted);
            QTextCursor at(doc);
            at.setPosition(6); // inside the first line, before its address
            page.longTextView()->setTextCursor(at);
            page.longTextView()->paste();
            QVERIFY(!page.longTextReady()); // put in on a worker
            QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
            QTRY_VERIFY(!marking(page.longTextView()));
            doc = page.longTextView()->document();
            const auto linked = detected(*doc);
            QVERIFY(linked.size() > before.size() + 1000);
            QCOMPARE(linked, addresses(*doc));
            for (const auto &[start, length, href] : linked)
                QCOMPARE(NoteDocument::wholeText(*doc, start, start + length), href);
            doc->undo();
            QCOMPARE(NoteDocument::wholeText(*doc), textBefore);
            QCOMPARE(detected(*doc), before);
            doc->redo();
            QCOMPARE(detected(*doc), linked);
            page.saveInlineEditor();
            QTRY_VERIFY(!page.longSavePending() && !page.inlineEditorOpen());
        }
        const Note *saved = NoteStore::shared().find(n.id);
        QVERIFY(saved && saved->body.contains(QStringLiteral("https://example.org/page2997 there")));
        QTextDocument stored;
        if (saved->bodyRTF) QVERIFY(RtfCodec::read(*saved->bodyRTF, &stored));
        for (QTextBlock b = stored.firstBlock(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                QVERIFY2(!it.fragment().charFormat().isAnchor(), qPrintable(it.fragment().text()));
        NoteStore::resetForTests();
    }

    // In the note editor dialog, an edit made while the links are still being made moves them:
    // text typed before them, an address broken and one typed on at its end leave every link on
    // the address it stands for, the rest all linked, and the text as edited.
    void anEditWhileLinkingIsNotHit() {
        TempPrefs prefs;
        NoteEditorDialog dlg(Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("D")), true, [](const auto &) {},
                             nullptr);
        dlg.QDialog::show();
        const QString pasted = addressLines(1500 * 1024, 1);
        QGuiApplication::clipboard()->setText(pasted);
        dlg.bodyView()->paste();
        QVERIFY(dlg.bodyBuilding());
        while (dlg.bodyBuilding())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QVERIFY2(marking(dlg.bodyView()), "the links were all made before an edit could come");
        QTextDocument *doc = dlg.bodyView()->document();
        QTextCursor c(doc);
        c.insertText(QStringLiteral("typed first "));
        // An address near the end broken, and the one before it typed on.
        const QString late = QStringLiteral("https://example.org/page30000 ");
        const QString later = QStringLiteral("https://example.org/page30010 ");
        QTextCursor broken = doc->find(late);
        QVERIFY(!broken.isNull());
        broken.setPosition(broken.selectionStart() + 4);
        broken.setPosition(broken.position() + 2, QTextCursor::KeepAnchor);
        broken.removeSelectedText(); // "http//example..."
        QTextCursor longer = doc->find(later);
        QVERIFY(!longer.isNull());
        longer.setPosition(longer.selectionEnd() - 1);
        longer.insertText(QStringLiteral("/more"));
        QVERIFY(marking(dlg.bodyView()));
        QTRY_VERIFY_WITH_TIMEOUT(!marking(dlg.bodyView()), 30000);
        QString text = pasted;
        text.replace(late, QStringLiteral("http//example.org/page30000 "));
        text.replace(later, QStringLiteral("https://example.org/page30010/more "));
        QCOMPARE(NoteDocument::wholeText(*doc), QStringLiteral("typed first ") + text);
        const auto linked = detected(*doc);
        for (const auto &[start, length, href] : linked)
            QVERIFY2(NoteDocument::wholeText(*doc, start, start + length) == href, qPrintable(href));
        // Every address but the one typed on (left to the editor) is a link.
        QCOMPARE(linked.size(), addresses(*doc).size() - 1);
    }
};

QTEST_MAIN(TestPastedLinks)
#include "tst_pasted_links.moc"
