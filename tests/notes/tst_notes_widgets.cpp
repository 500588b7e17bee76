#include "common/Files.h"
#include "common/HeldPool.h"
#include "common/NoteTables.h"
#include "common/PageTest.h"
#include "common/PdfWords.h"
#include "notes/NoteCodec.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteDocument.h"
#include "notes/NoteExport.h"
#include "notes/NoteGrid.h"
#include "notes/NoteListView.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "platform/ImportFile.h"
#include "ui/Lang.h"
#include "ui/LinkTextView.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QClipboard>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QThreadPool>
#include <QToolTip>
#include <QtTest>
#include <sys/stat.h>

namespace {
QTextCharFormat formatAt(QTextEdit *tv, int pos) {
    QTextCursor c(tv->document());
    c.setPosition(pos + 1);
    return c.charFormat();
}

Note note(NoteType type, const QString &id, const QString &body = {}) {
    Note n(type, QStringLiteral("📝"), QStringLiteral("N ") + id);
    n.id = id;
    n.body = body;
    return n;
}
} // namespace

class TestNotesWidgets : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    void listSplit() {
        TempPrefs prefs;
        NoteListView list;
        list.setNotes({}, std::nullopt, 300, 100);
        QCOMPARE(list.entries().size(), size_t(1));
        QCOMPARE(list.entries()[0].kind, NoteListView::Entry::empty);
        QCOMPARE(list.height(), 100); // 56 of content, the scroll view taller
        // tables stored first still list after the text notes
        list.setNotes({note(NoteType::table, "T"), note(NoteType::text, "A")}, QStringLiteral("A"), 300, 10);
        const auto &e = list.entries();
        QCOMPARE(e.size(), size_t(4));
        QCOMPARE(e[0].kind, NoteListView::Entry::section);
        QCOMPARE(e[1].note.id, QStringLiteral("A"));
        QCOMPARE(e[2].y, 8 + 26 + 64);
        QCOMPARE(e[3].note.id, QStringLiteral("T"));
        QCOMPARE(list.height(), 8 + 26 + 64 + 26 + 64 + 8);

        // The empty list's hint keeps every wrapped line in every language, at the narrowest list
        // and the largest font scale.
        VF::setFontScale(1.3);
        for (AppLang lang : AppLangs::allCases) {
            L::setLang(lang);
            list.setNotes({}, std::nullopt, 180, 10);
            const QString hint = list.entries()[0].text;
            const QRect r = NoteListView::emptyHintRect(hint, 180);
            const QFontMetrics fm(NoteListView::emptyHintFont());
            const int need = fm.boundingRect(QRect(0, 0, r.width(), 1000), Qt::TextWordWrap, hint).height();
            QVERIFY2(need > fm.height(), qPrintable(hint)); // it does wrap here
            QVERIFY2(r.height() >= need, qPrintable(hint));
            QVERIFY2(list.height() > r.bottom(), qPrintable(hint));
        }
        L::setLang(AppLang::en);
        VF::setFontScale(1.0);
    }

    // A card's preview of a note full of emoji, whether the list got it from the note, from the stored
    // notes or from a save written from the document: cut between whole characters as shown (no half
    // of a surrogate pair, no emoji without its skin tone, no half of a flag), ended with "…".
    void aPreviewIsCutBetweenWholeCharacters() {
        const QString smile = QStringLiteral("🙂"), thumb = QStringLiteral("👍🏽"),
                      flag = QStringLiteral("🇺🇦");
        struct Case {
            QString body, kept;
        };
        const std::vector<Case> cases = {
            {QStringLiteral("a") + smile.repeated(30), QStringLiteral("a") + smile.repeated(19)},
            {QStringLiteral("ab") + thumb.repeated(15), QStringLiteral("ab") + thumb.repeated(9)},
            {QStringLiteral("a") + flag.repeated(15), QStringLiteral("a") + flag.repeated(9)},
        };
        for (const Case &c : cases) {
            Note n = note(NoteType::text, "E", c.body);
            const QString want = c.kept + QChar(0x2026);
            QCOMPARE(NoteListView::summary(NoteHead(n)), want);
            const auto index = NoteCodec::index(encodeNotes({n}));
            QVERIFY(index && index->heads.size() == 1);
            QCOMPARE(index->heads[0].preview, want);
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(n, {QFont(), Qt::black, QColor()}));
            QString saved;
            NoteDocument::encodeSaved(*doc, n, &saved);
            QCOMPARE(saved, want);
        }
    }

    void cardTexts() {
        TempPrefs prefs;
        Note n = note(NoteType::text, "A", QString(50, QLatin1Char('x')).replace(3, 1, QLatin1Char('\n')));
        QCOMPARE(NoteListView::summary(n).size(), 40);
        QVERIFY(!NoteListView::summary(n).contains(QLatin1Char('\n')));
        n.body.clear();
        QCOMPARE(NoteListView::summary(n), QStringLiteral("Empty note"));
        n.body = QStringLiteral("short 🙂");
        QCOMPARE(NoteListView::summary(n), n.body); // whole, nothing to mark as cut
        n.modifiedInterval = n.createdInterval + 1;
        QVERIFY(NoteListView::dateLine(n).startsWith(QStringLiteral("＋ ")));
        n.modifiedInterval = n.createdInterval + 2;
        QVERIFY(NoteListView::dateLine(n).startsWith(QStringLiteral("✎ ")));
        Note t = note(NoteType::table, "T");
        t.columns.emplace_back(QStringLiteral("a"));
        QCOMPARE(NoteListView::summary(t), QStringLiteral("1 cols · 0 rows"));
    }

    // A table card counts its columns and rows in the form each number asks for.
    void tableCountsTakeTheirPluralForm_data() {
        QTest::addColumn<AppLang>("lang");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const auto uk = [](int n, const char *cols, const char *rows) {
            QTest::addRow("uk %d", n) << AppLang::uk << n << QStringLiteral("%1 %2 · %1 %3").arg(n).arg(
                                                                 QString::fromUtf8(cols), QString::fromUtf8(rows));
        };
        for (int n : {1, 21}) uk(n, "стовпець", "рядок");
        for (int n : {2, 3, 4, 22, 23, 24}) uk(n, "стовпці", "рядки");
        for (int n : {0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 25}) uk(n, "стовпців", "рядків");
        const auto pl = [](int n, const char *cols, const char *rows) {
            QTest::addRow("pl %d", n) << AppLang::pl << n << QStringLiteral("%1 %2 · %1 %3").arg(n).arg(
                                                                 QString::fromUtf8(cols), QString::fromUtf8(rows));
        };
        pl(1, "kolumna", "wiersz");
        for (int n : {2, 3, 4, 22, 23, 24}) pl(n, "kolumny", "wiersze");
        for (int n : {0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}) pl(n, "kolumn", "wierszy");
        QTest::addRow("en 1") << AppLang::en << 1 << QStringLiteral("1 cols · 1 rows");
        QTest::addRow("de 1") << AppLang::de << 1 << QStringLiteral("1 Sp. · 1 Zeile");
        QTest::addRow("fr 0") << AppLang::fr << 0 << QStringLiteral("0 col. · 0 ligne");
        QTest::addRow("es 2") << AppLang::es << 2 << QStringLiteral("2 cols · 2 filas");
    }
    void tableCountsTakeTheirPluralForm() {
        QFETCH(AppLang, lang);
        QFETCH(int, n);
        QFETCH(QString, expected);
        TempPrefs prefs;
        L::setLang(lang);
        NoteHead t;
        t.type = NoteType::table;
        t.columnCount = n;
        t.rowCount = n;
        QCOMPARE(NoteListView::summary(t), expected);
    }

    void listWidths_data() {
        QTest::addColumn<double>("w");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("list");
        QTest::addColumn<double>("frac");
        QTest::newRow("1000") << 1000.0 << 100.0 << 320.0 << 0.18;
        QTest::newRow("narrow page") << 250.0 << 900.0 << 180.0 << 0.72; // the 180 minimum wins
        QTest::newRow("drag far") << 1000.0 << 900.0 << 320.0 << 0.6;
    }
    void listWidths() {
        QFETCH(double, w);
        QFETCH(double, x);
        QFETCH(double, list);
        QFETCH(double, frac);
        QCOMPARE(NotesView::listWidth(w, 0.32), list);
        QCOMPARE(NotesView::fractionForDrag(x, w), frac);
    }

    void keysAndPaste() {
        RichTextView tv;
        tv.setPlainText(QStringLiteral("abc"));
        QTextCursor c = tv.textCursor();
        c.setPosition(1);
        tv.setTextCursor(c);
        QTest::keyClick(&tv, Qt::Key_B, Qt::ControlModifier); // swallowed, nothing typed
        QCOMPARE(tv.toPlainText(), QStringLiteral("abc"));
        // a highlighted paste leaves no highlight anywhere, also on old text
        QTextCharFormat hl;
        hl.setBackground(Qt::yellow);
        QTextCursor all(tv.document());
        all.select(QTextCursor::Document);
        all.mergeCharFormat(hl);
        auto *mime = new QMimeData;
        mime->setHtml(QStringLiteral("<span style=\"background:red\">X</span>"));
        QGuiApplication::clipboard()->setMimeData(mime);
        tv.paste();
        QVERIFY(tv.toPlainText().contains(QLatin1Char('X')));
        for (QTextBlock b = tv.document()->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                QVERIFY(!it.fragment().charFormat().hasProperty(QTextFormat::BackgroundBrush));
        // Ctrl+Shift+V pastes plain text
        QGuiApplication::clipboard()->setText(QStringLiteral("plain"));
        QTest::keyClick(&tv, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(tv.toPlainText().contains(QStringLiteral("plain")));
    }

    void buttonFlashRestoresBackground() {
        RichTextView tv;
        tv.setPlainText(QStringLiteral("ab"));
        tv.selectAll();
        FmtBarButton b(QStringLiteral("U̲"), 2, &tv);
        b.setBackground(Qt::darkGray);
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(b.currentBackground(), QColor::fromRgbF(1, 1, 1, 0.2f));
        QTRY_COMPARE_WITH_TIMEOUT(b.currentBackground(), QColor(Qt::darkGray), 1000);
        QTextCursor c(tv.document());
        c.setPosition(1);
        QVERIFY(c.charFormat().fontUnderline());
        QVERIFY(tv.textCursor().hasSelection()); // the selection stays
    }

    // The painted "✕" buttons of a table say what they delete, in the interface language; elsewhere
    // the grid shows no tip.
    void tableDeleteButtonsHaveTooltips() {
        PageEnv env(QDateTime(QDate(2026, 1, 5), QTime(9, 0)));
        NoteStore::resetForTests();
        NoteStore::shared().add(tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c", "d"}}));
        ShownPage<NotesView> page;
        QVERIFY(page.open(1000, 700));
        page->selectNote(QStringLiteral("T"));
        settle();
        NoteGrid *g = page->grid();
        QVERIFY(g);
        const auto tipAt = [g](QPoint p) {
            QHelpEvent he(QEvent::ToolTip, p, g->mapToGlobal(p));
            QApplication::sendEvent(g, &he);
        };
        const QPoint secondColumnX(int(NoteGrid::kLeft + g->widths()[0] + g->widths()[1] - 11), 24);
        const QPoint secondRowX(NoteGrid::kNumX + 37, NoteGrid::kTop + g->rowHeight(0) + 3 + g->rowHeight(1) / 2);
        tipAt(secondColumnX);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("Delete column"));
        tipAt(secondRowX);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Delete row"));
        tipAt(g->cellRect({0, 0}).center());
        QTRY_VERIFY(!QToolTip::isVisible());
        L::setLang(AppLang::uk);
        tipAt(secondColumnX);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Видалити стовпець"));
        tipAt(secondRowX);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Видалити рядок"));
        L::setLang(AppLang::en);
        QToolTip::hideText();
        NoteStore::resetForTests();
    }

    // A part of the grid an exposure or a scroll repaints looks as it does in a paint of the whole:
    // nothing that reaches into the part (a column's handle, the number column, a wrapped cell, a
    // link, a find match, the selection) is left out of it.
    void gridPaintsAPartAsInTheWhole() {
        QList<QStringList> rows;
        for (int r = 0; r < 12; ++r) {
            QStringList cells;
            for (int c = 0; c < 6; ++c)
                cells << ((r + c) % 4 == 0   ? QStringLiteral("see https://example.org/%1 now").arg(r)
                          : (r + c) % 5 == 0 ? QStringLiteral("two\nlines that wrap around the column %1").arg(r)
                                             : QStringLiteral("value %1").arg(r * 6 + c));
            rows << cells;
        }
        const Note n = tableNote(QStringLiteral("P"), 6, rows);
        for (AppTheme theme : {AppTheme::silver, AppTheme::dark}) {
            VF::setTheme(theme);
            NoteGrid::Selection sel;
            sel.anchor = NoteGrid::CellPos{1, 1};
            sel.end = NoteGrid::CellPos{2, 3};
            NoteGrid g(n, NoteGrid::defaultWidths(n), {}, 500, &sel, nullptr);
            g.setFindMatches({{-1, 2}, {4, 4}}, NoteGrid::CellPos{4, 4});
            const QSize size = g.size();
            const auto paint = [&](const QRegion &part) {
                QImage img(size, QImage::Format_ARGB32_Premultiplied);
                img.fill(Qt::transparent);
                g.render(&img, part.boundingRect().topLeft(), part);
                return img;
            };
            const QImage whole = paint(QRect(QPoint(), size));
            const int colEdge = int(NoteGrid::kLeft + g.widths()[0]);
            for (const QRect &part : {QRect(NoteGrid::kLeft, 0, 200, size.height()), QRect(colEdge + 2, 0, 150, 60),
                                      QRect(colEdge - 3, 40, 40, 200), QRect(0, 100, NoteGrid::kLeft + 1, 120),
                                      QRect(colEdge + 30, 90, 300, 160)}) {
                const QImage got = paint(part);
                QCOMPARE(got.copy(part), whole.copy(part));
            }
        }
        VF::setTheme(AppTheme::silver);
    }

    // The note's link is shown whole, wrapped when long; a click opens its address ("https://" put
    // in front of a link typed without a scheme), a drag selects it for copying instead.
    void noteLinkCanBeReadSelectedAndOpened() {
        PageEnv env(QDateTime(QDate(2026, 1, 5), QTime(9, 0)));
        RecordingLinks links;
        NoteStore::resetForTests();
        Note n = note(NoteType::text, "A", QStringLiteral("body"));
        n.link = QStringLiteral("example.org/") + QStringLiteral("segment/").repeated(30);
        NoteStore::shared().add(n);
        Note s = note(NoteType::text, "S", QStringLiteral("body"));
        s.link = QStringLiteral("https://a.org");
        NoteStore::shared().add(s);
        ShownPage<NotesView> page;
        QVERIFY(page.open(1000, 700));
        page->selectNote(QStringLiteral("A"));
        settle();
        LinkTextView *lv = page->linkView();
        QVERIFY(lv);
        QCOMPARE(lv->toPlainText(), n.link);
        QVERIFY2(lv->height() >= 3 * 16, qPrintable(QString::number(lv->height()))); // wraps, never cut
        QCOMPARE(lv->height(), int(std::ceil(lv->document()->size().height())));
        QTest::mouseMove(lv->viewport(), QPoint(30, 8));
        QTRY_COMPARE(lv->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, QPoint(30, 8));
        QCOMPARE(links.opened, QList<QUrl>{QUrl(QStringLiteral("https://") + n.link)});
        QTest::mousePress(lv->viewport(), Qt::LeftButton, {}, QPoint(5, 8));
        QTest::mouseMove(lv->viewport(), QPoint(200, 8));
        QTest::mouseRelease(lv->viewport(), Qt::LeftButton, {}, QPoint(200, 8));
        QVERIFY(lv->textCursor().hasSelection());
        QCOMPARE(links.opened.size(), 1);
        // a short link keeps the one line of 20
        page->selectNote(QStringLiteral("S"));
        settle();
        QVERIFY(page->linkView());
        QCOMPARE(page->linkView()->height(), 20);
        QTest::mouseClick(page->linkView()->viewport(), Qt::LeftButton, {}, QPoint(10, 8));
        QCOMPARE(links.opened.last(), QUrl(QStringLiteral("https://a.org")));
        NoteStore::resetForTests();
    }

    // The editor's body grows with the font scale as the title field beside it does, for plain and
    // rich bodies and for what is typed; a size set in the text grows with it.
    void editorBodyFollowsTheFontScale() {
        TempPrefs prefs;
        VF::setFontScale(1.3);
        QTextDocument src;
        QTextCursor c(&src);
        c.insertText(QStringLiteral("plain "));
        QTextCharFormat big;
        big.setProperty(QTextFormat::FontPixelSize, 20);
        c.insertText(QStringLiteral("sized"), big);
        Note rich(NoteType::text, QStringLiteral("📝"), QStringLiteral("Rich"));
        rich.body = src.toPlainText();
        rich.bodyRTF = RtfCodec::write(src);
        Note plain(NoteType::text, QStringLiteral("📝"), QStringLiteral("Plain"));
        plain.body = QStringLiteral("plain body");
        for (const Note &n : {plain, rich}) {
            NoteEditorDialog dlg(n, false, {}, nullptr);
            QTextDocument *d = dlg.bodyView()->document();
            const int titlePx = QFontInfo(dlg.titleField()->font()).pixelSize();
            QVERIFY(titlePx >= 16);
            QTextCursor at(d);
            at.setPosition(1);
            QCOMPARE(QFontInfo(d->defaultFont().resolve(at.charFormat().font())).pixelSize(), titlePx);
            if (n.bodyRTF) {
                at.setPosition(8);
                QCOMPARE(at.charFormat().intProperty(QTextFormat::FontPixelSize), 26);
            }
        }
        VF::setFontScale(1.0);
    }

    // A+ and A− step from the size the text is stored with, so a step always shows the text larger or
    // smaller, and stores the same size at every font scale; stored sizes come back as they were.
    void sizeStepsAreStoredAlikeAtEveryScale() {
        TempPrefs prefs;
        QTextDocument src;
        QTextCursor c(&src);
        c.insertText(QStringLiteral("plain word "));
        QTextCharFormat big;
        big.setProperty(QTextFormat::FontPixelSize, 20);
        c.insertText(QStringLiteral("sized"), big);
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Sizes"));
        n.body = src.toPlainText();
        n.bodyRTF = RtfCodec::write(src);
        QVERIFY(n.bodyRTF->contains("\\fs40 sized"));
        for (const double scale : {1.0, 1.3}) {
            VF::setFontScale(scale);
            NoteEditorDialog dlg(n, false, {}, nullptr);
            NoteTextView *view = dlg.bodyView();
            QTextDocument *d = view->document();
            const auto shownPx = [&](int pos) {
                QTextCursor at(d);
                at.setPosition(pos + 1);
                return QFontInfo(at.charFormat().font().resolve(d->defaultFont())).pixelSize();
            };
            const int body = shownPx(6);
            QCOMPARE(body, qRound(13 * scale));
            QCOMPARE(shownPx(12), qRound(20 * scale));
            QTextCursor word(d);
            word.setPosition(6);
            word.setPosition(10, QTextCursor::KeepAnchor);
            view->setTextCursor(word);
            view->applyFmt(3);
            const int once = shownPx(6);
            QVERIFY2(once > body, qPrintable(QStringLiteral("%1 → %2 at %3").arg(body).arg(once).arg(scale)));
            view->applyFmt(3);
            QVERIFY(shownPx(6) > once);
            const QByteArray stored = NoteDocument::readText(*d).rtf;
            QVERIFY2(stored.contains("\\fs34 word") && stored.contains("\\fs40 sized") && !stored.contains("\\fs26"),
                     stored.constData());
            view->applyFmt(4);
            QCOMPARE(shownPx(6), once);
            QVERIFY(NoteDocument::readText(*d).rtf.contains("\\fs30 word"));
        }
        VF::setFontScale(1.0);
    }

    // Return in the title or emoji field is Save; in the body it is a new line.
    void editorDialogSavesOnReturnInItsFields() {
        TempPrefs prefs;
        TestDialogs dialogs;
        std::optional<Note> got;
        int calls = 0;
        const auto done = [&](const std::optional<Note> &n) { got = n, ++calls; };
        NoteEditorDialog dlg(Note(NoteType::text, QString(), QString()), true, done, nullptr);
        QTest::keyClick(dlg.bodyView(), Qt::Key_Return);
        QCOMPARE(dlg.bodyView()->toPlainText(), QStringLiteral("\n"));
        QCOMPARE(calls, 0);
        QTest::keyClick(dlg.titleField(), Qt::Key_Return); // no title yet: the alert, still open
        QCOMPARE(calls, 0);
        QCOMPARE(dialogs.alertsShown.size(), 1);
        QVERIFY(dialogs.alertsShown.last().startsWith(QStringLiteral("Title required")));
        dlg.titleField()->setText(QStringLiteral("Groceries"));
        QTest::keyClick(dlg.emojiField(), Qt::Key_Return);
        QCOMPARE(calls, 1);
        QCOMPARE(got->title, QStringLiteral("Groceries"));

        NoteEditorDialog second(Note(NoteType::text, QStringLiteral("🛒"), QStringLiteral("List")), true, done, nullptr);
        QTest::keyClick(second.titleField(), Qt::Key_Enter);
        QCOMPARE(calls, 2);
    }

    // A table filled from a file the user picked: a named pipe (which froze the window for good) is
    // refused at once in words of its own, and the editor goes on to fill the table from a CSV file.
    void editorFillsATableOnlyFromARegularFile() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        const QString pipe = dir.filePath(QStringLiteral("pipe.csv"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        std::optional<Note> got;
        NoteEditorDialog dlg(
            Note(NoteType::table, QStringLiteral("📊"), QStringLiteral("T")), true,
            [&](const std::optional<Note> &n) { got = n; }, nullptr);
        auto *imp = dlg.findChild<QPushButton *>(QStringLiteral("importTableButton"));
        QVERIFY(imp);
        dialogs.openPathAnswers = {pipe, putFile(dir.filePath(QStringLiteral("t.csv")), "A,B\n1,2\n")};
        imp->click();
        QVERIFY(dialogs.waitForAlertsAfter(0));
        QCOMPARE(dialogs.alertsShown.last(), ImportFile::message(ImportFile::Error::notAFile) + u'|');
        imp->click();
        auto *grid = dlg.findChild<QAbstractItemView *>(QStringLiteral("draftTable"));
        QTRY_COMPARE(grid->model()->columnCount(), 2);
        dlg.findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
        QVERIFY(got);
        QCOMPARE(got->columns.size(), size_t(2));
        QCOMPARE(got->rows.size(), size_t(1));
        QCOMPARE(got->rows[0].cells, QStringList({QStringLiteral("1"), QStringLiteral("2")}));
        QCOMPARE(dialogs.alertsShown.size(), 1);
    }

    // An address typed in the editor's body is a link as soon as it is typed, and stays exact while it
    // is typed on, followed by a space or cut short; one undo takes back the keystroke with its link.
    // Such links are shown, never stored. The toolbar and Ctrl+B format the body, one undo each.
    void editorBodyLinksAddressesAsTheyAreTyped() {
        TempPrefs prefs;
        std::optional<Note> got;
        NoteEditorDialog dlg(Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Links")), true,
                             [&](const std::optional<Note> &n) { got = n; }, nullptr);
        NoteTextView *tv = dlg.bodyView();
        const auto format = [tv](int pos) {
            QTextCursor c(tv->document());
            c.setPosition(pos + 1);
            return c.charFormat();
        };
        const auto linkAt = [&](int pos) {
            const QTextCharFormat f = format(pos);
            return f.isAnchor() ? f.anchorHref() : QString();
        };
        QTest::keyClicks(tv, QStringLiteral("see https://a.or"));
        QCOMPARE(linkAt(4), QStringLiteral("https://a.or"));
        QTest::keyClicks(tv, QStringLiteral("g/x"));
        QCOMPARE(linkAt(4), QStringLiteral("https://a.org/x"));
        QCOMPARE(linkAt(18), QStringLiteral("https://a.org/x"));
        QCOMPARE(format(6).foreground().color(), QColor::fromRgbF(0.5f, 0.78f, 1.0f));
        QVERIFY(format(6).fontUnderline());
        QCOMPARE(linkAt(0), QString());
        QTest::keyClicks(tv, QStringLiteral(" and"));
        QCOMPARE(linkAt(19), QString()); // the space after it is plain text
        QVERIFY(!format(20).fontUnderline());
        QVERIFY(!format(20).hasProperty(QTextFormat::ForegroundBrush)); // drawn in the text colour
        QCOMPARE(linkAt(18), QStringLiteral("https://a.org/x"));
        // undone a keystroke at a time near the address, each with its link: the link follows the text
        const QString typed = tv->toPlainText();
        while (tv->toPlainText() != QStringLiteral("see https://a.org")) {
            QVERIFY(tv->document()->isUndoAvailable());
            QTest::keyClick(tv, Qt::Key_Z, Qt::ControlModifier);
            const QString text = tv->toPlainText();
            QCOMPARE(text, typed.left(text.size()));
            if (text.indexOf(u' ', 4) < 0) QCOMPARE(linkAt(4), QStringLiteral("https://") + text.mid(12));
        }
        QVERIFY(tv->document()->isRedoAvailable());
        // typed into the middle, the link follows its text; cut back to no address, it goes
        tv->selectAll();
        QTest::keyClicks(tv, QStringLiteral("www.ab.org"));
        QCOMPARE(linkAt(0), QStringLiteral("https://www.ab.org"));
        tv->moveCursor(QTextCursor::End);
        for (int i = 0; i < 4; ++i) QTest::keyClick(tv, Qt::Key_Backspace);
        QCOMPARE(tv->toPlainText(), QStringLiteral("www.ab"));
        QCOMPARE(linkAt(0), QString());
        QVERIFY(!format(2).fontUnderline());
        QTest::keyClicks(tv, QStringLiteral(".net and more"));
        QCOMPARE(linkAt(0), QStringLiteral("https://www.ab.net"));
        // the toolbar's bold and Ctrl+I act on the selection, each undone by one undo
        QTextCursor word(tv->document());
        word.setPosition(15);
        word.setPosition(19, QTextCursor::KeepAnchor);
        tv->setTextCursor(word);
        auto *bar = dlg.findChild<QWidget *>(QStringLiteral("formatBar"));
        QVERIFY(bar);
        QTest::mouseClick(bar->findChildren<FmtBarButton *>().at(0), Qt::LeftButton);
        QTest::keyClick(tv, Qt::Key_I, Qt::ControlModifier);
        QVERIFY(format(16).fontWeight() >= QFont::Bold && format(16).fontItalic());
        QTest::keyClick(tv, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(format(16).fontWeight() >= QFont::Bold && !format(16).fontItalic());
        dlg.titleField()->setText(QStringLiteral("Links"));
        QVERIFY(dlg.doSave());
        QVERIFY(got && got->bodyRTF);
        QCOMPARE(got->body, QStringLiteral("www.ab.net and more"));
        QVERIFY2(!got->bodyRTF->contains("HYPERLINK"), got->bodyRTF->constData());
        QTextDocument back;
        QVERIFY(RtfCodec::read(*got->bodyRTF, &back));
        QVERIFY(back.find(QStringLiteral("more")).charFormat().fontWeight() >= QFont::Bold);
    }

    // A list written by another program keeps its hanging indent and tab stop through Edit, typing at
    // the end and Save, and what is typed at the end goes on the last line.
    void editKeepsAnotherProgramsListLayout() {
        PageEnv env(QDateTime(QDate(2026, 1, 5), QTime(9, 0)));
        NoteStore::resetForTests();
        Note n = note(NoteType::text, "P", QStringLiteral("Shopping:\n•\tMilk\n•\tBread\n"));
        n.bodyRTF = QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 \\fswiss Helvetica;}}\n"
                               "{\\pard \\ql \\f0 \\sa180 \\li0 \\fi0 Shopping:\\par}\n"
                               "{\\pard \\ql \\f0 \\sa0 \\li360 \\fi-360 \\bullet \\tx360\\tab Milk\\par}\n"
                               "{\\pard \\ql \\f0 \\sa0 \\li360 \\fi-360 \\bullet \\tx360\\tab Bread\\sa180\\par}\n\n}\n");
        NoteStore::shared().add(n);
        ShownPage<NotesView> page;
        QVERIFY(page.open(1000, 700));
        page->selectNote(QStringLiteral("P"));
        page->showInlineEditor(QStringLiteral("P"));
        settle();
        NoteTextView *tv = page->inlineTextView();
        QVERIFY(tv);
        QTest::keyClicks(tv, QStringLiteral(" and eggs"));
        page->saveInlineEditor();
        settle();
        const Note *saved = NoteStore::shared().find(QStringLiteral("P"));
        QCOMPARE(saved->body, QStringLiteral("Shopping:\n•\tMilk\n•\tBread and eggs"));
        QVERIFY(saved->bodyRTF);
        QVERIFY2(saved->bodyRTF->contains("\\li360\\fi-360\\tx360"), saved->bodyRTF->constData());
        QTextDocument back;
        QVERIFY(RtfCodec::read(*saved->bodyRTF, &back));
        QCOMPARE(back.lastBlock().blockFormat().textIndent(), -18.0);
        QCOMPARE(back.lastBlock().blockFormat().tabPositions().size(), 1);
        NoteStore::resetForTests();
    }

    // A selection shows the floating bar over it, inside the view; its buttons format without taking
    // the focus, so the selection stays and can be formatted again; an empty selection hides the bar.
    void floatingBarFormatsTheSelection() {
        TempPrefs prefs;
        RichTextView tv;
        tv.resize(420, 240);
        tv.setPlainText(QStringLiteral("one\ntwo\nthree\nfour five six\nseven"));
        tv.show();
        tv.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&tv));
        tv.setFocus();
        QTRY_VERIFY(tv.hasFocus());
        QVERIFY(!tv.formatBar() || !tv.formatBar()->isVisible());
        const auto selectRange = [&](int from, int to) {
            QTextCursor c(tv.document());
            c.setPosition(from);
            c.setPosition(to, QTextCursor::KeepAnchor);
            tv.setTextCursor(c);
        };
        const auto caretRect = [&](int pos) {
            QTextCursor c(tv.document());
            c.setPosition(pos);
            return tv.cursorRect(c);
        };
        selectRange(19, 23); // "five", on the fourth line
        QWidget *bar = tv.formatBar();
        QVERIFY(bar && bar->isVisible());
        QCOMPARE(bar->size(), QSize(116, 34));
        QVERIFY(tv.viewport()->rect().contains(bar->geometry()));
        QVERIFY(bar->geometry().bottom() < caretRect(19).top()); // above the selection
        QVERIFY(bar->geometry().left() < caretRect(19).left() && bar->geometry().right() > caretRect(23).left());
        const QList<FmtBarButton *> buttons = bar->findChildren<FmtBarButton *>();
        QCOMPARE(buttons.size(), 3);
        QCOMPARE(buttons[0]->label(), QStringLiteral("B"));
        QCOMPARE(buttons[1]->label(), QStringLiteral("I"));
        QCOMPARE(buttons[2]->label(), QStringLiteral("U\u0332"));
        QCOMPARE(buttons[2]->geometry(), QRect(78, 4, 32, 26));
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QTest::mouseClick(buttons[2], Qt::LeftButton);
        QVERIFY(formatAt(&tv, 20).fontWeight() >= QFont::Bold);
        QVERIFY(formatAt(&tv, 20).fontUnderline());
        QVERIFY(!formatAt(&tv, 17).fontUnderline());
        QVERIFY(tv.hasFocus());
        QCOMPARE(tv.textCursor().selectionStart(), 19);
        QCOMPARE(tv.textCursor().selectionEnd(), 23);
        QVERIFY(bar->isVisible());
        // no room above the first line: below the selection instead, still inside the view
        selectRange(0, 3);
        QVERIFY(bar->geometry().top() > caretRect(3).bottom());
        QVERIFY(tv.viewport()->rect().contains(bar->geometry()));
        selectRange(2, 2);
        QVERIFY(!bar->isVisible());
        // at a larger font scale the bar grows with its labels
        VF::setFontScale(1.3);
        RichTextView big;
        big.resize(420, 240);
        big.setPlainText(QStringLiteral("a\nbig word"));
        big.show();
        big.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&big));
        big.setFocus();
        QTRY_VERIFY(big.hasFocus());
        QTextCursor c(big.document());
        c.setPosition(2);
        c.setPosition(5, QTextCursor::KeepAnchor);
        big.setTextCursor(c);
        QVERIFY(big.formatBar() && big.formatBar()->isVisible());
        QCOMPARE(big.formatBar()->size(), QSize(151, 44));
        VF::setFontScale(1.0);
    }

    void exportFlowWritesOrReports() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        NotesView page;
        const Note n = note(NoteType::text, "A", QStringLiteral("body"));
        dialogs.alertAnswers = {0};
        dialogs.savePaths = {dir.filePath(QStringLiteral("a.txt"))};
        page.exportNote(n);
        QTRY_VERIFY(QFile::exists(dir.filePath(QStringLiteral("a.txt"))));
        // a write that fails is reported, not silent
        dialogs.alertAnswers = {1, 0};
        dialogs.savePaths = {dir.filePath(QStringLiteral("missing/dir/a.csv"))};
        const int before = int(dialogs.alertsShown.size());
        page.exportNote(n);
        QTRY_COMPARE(int(dialogs.alertsShown.size()), before + 2);
        QVERIFY(dialogs.alertsShown.last().startsWith(QStringLiteral("Export failed")));
        // Cancel in the format alert does nothing more
        dialogs.alertAnswers = {3};
        page.exportNote(n);
        QCOMPARE(int(dialogs.alertsShown.size()), before + 3);
        // nothing selected
        page.doExportSelected();
        QVERIFY(dialogs.alertsShown.last().startsWith(QStringLiteral("No note selected")));
    }

    // An export of every format is made and written on a worker: with every worker held, the export
    // returns at once and nothing is written; once they are free the files come, a failed write is
    // still said, and a page gone meanwhile is told nothing.
    void exportsLeaveTheWindowFree() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        auto page = std::make_unique<NotesView>();
        Note n = note(NoteType::text, "A", QStringLiteral("A line of a long note.\n").repeated(2000));
        // The pool's one worker is held until released, on every way out of the test.
        HeldPool pool;
        const QStringList paths = {dir.filePath(QStringLiteral("a.txt")),
                                   dir.filePath(QStringLiteral("a.csv")),
                                   dir.filePath(QStringLiteral("a.pdf"))};
        for (int format = 0; format < 3; ++format) {
            dialogs.alertAnswers = {format};
            dialogs.savePaths = {paths[format]};
            page->exportNote(n);
        }
        const Note written = n;
        n.body.clear(); // the worker has a note of its own
        dialogs.alertAnswers = {2};
        dialogs.savePaths = {dir.filePath(QStringLiteral("missing/dir/a.pdf"))};
        page->exportNote(n);
        dialogs.alertAnswers = {0};
        dialogs.savePaths = {dir.filePath(QStringLiteral("missing/dir/b.txt"))};
        auto goner = std::make_unique<NotesView>();
        goner->exportNote(n);
        goner.reset();
        QCoreApplication::processEvents();
        for (const QString &path : paths)
            QVERIFY2(!QFile::exists(path), qPrintable(path));
        QCOMPARE(int(dialogs.alertsShown.size()), 5); // the five format alerts, no failure yet
        QVERIFY(!NoteExport::settle(50));             // quitting now would wait for them
        pool.release();
        QVERIFY(NoteExport::settle(60000));
        for (const QString &path : paths)
            QVERIFY2(QFile::exists(path), qPrintable(path)); // written once the wait returns, not after
        QTRY_COMPARE(int(dialogs.alertsShown.size()), 6);
        QVERIFY(dialogs.alertsShown.last().startsWith(QStringLiteral("Export failed")));
        QFile txt(paths[0]);
        QVERIFY(txt.open(QIODevice::ReadOnly));
        QCOMPARE(txt.readAll(), NoteStore::txtExport(written).toUtf8());
        const auto l = pdfLayout(paths[2]);
        QVERIFY2(l, "pdftotext (poppler-utils) did not run");
        QCOMPARE(l->lines.value(2), QStringLiteral("A line of a long note."));
        QCoreApplication::processEvents();
        QCOMPARE(int(dialogs.alertsShown.size()), 6); // nothing for the page that went
    }
};

QTEST_MAIN(TestNotesWidgets)
#include "tst_notes_widgets.moc"
