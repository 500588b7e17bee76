// Text notes of everyday to extreme sizes on the notes page, driven as a user drives them (the page's
// public calls, keys, wheel and the clipboard on the view it shows), so the figures hold whichever view
// shows a note: for each step the longest stretch of the window's thread from the click until the page
// has settled, the time to the first paint after opening, and what a 20 or 50 MB note costs in memory.
#include "NoteBudget.h"
#include "OutsideProbe.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/RtfCodec.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include <QAbstractScrollArea>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QWheelEvent>
#include <cstdio>
#include <malloc.h>
#include <map>

namespace {

double mb(const char *field) {
    return OutsideProbe::statusMb(QCoreApplication::applicationPid(), field);
}

// Resets the peak resident memory (VmHWM) to the current one, so a peak read later is the peak since.
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// About 4 KB of rich lines: bold, italic, a font size, a colour, typed addresses and bullet lines.
void writeChunk(QTextCursor &c, int i) {
    QTextCharFormat plain, bold, italic, big, colour;
    bold.setFontWeight(QFont::Bold);
    italic.setFontItalic(true);
    big.setProperty(QTextFormat::FontPixelSize, 20);
    colour.setForeground(QColor(200, 40, 40));
    for (int line = 0; line < 8; ++line) {
        c.insertText(
            QStringLiteral("Line %1.%2 of the note, plain words to read and search, ").arg(i).arg(line),
            plain);
        c.insertText(QStringLiteral("bold words "), bold);
        c.insertText(QStringLiteral("italic words "), italic);
        c.insertText(QStringLiteral("a larger heading "), big);
        c.insertText(QStringLiteral("червоний колір 🙂 "), colour);
        c.insertText(QStringLiteral("see https://example.com/page/%1 or mail@example.org.").arg(i), plain);
        c.insertBlock();
        c.insertText(QStringLiteral("• a bullet line with a few words, number %1").arg(line), plain);
        c.insertBlock();
        c.insertText(
            QStringLiteral("• another bullet line, somewhat longer than the first one, %1").arg(line), plain);
        c.insertBlock();
    }
}

// A rich text note of about chars characters, many lines, with a stored link.
Note richNote(qsizetype chars) {
    QTextDocument unit;
    {
        QTextCursor c(&unit);
        writeChunk(c, 0);
    }
    const QTextDocumentFragment piece(&unit);
    QTextDocument doc;
    QTextCursor c(&doc);
    for (int i = 0; doc.characterCount() < chars; ++i) {
        if (chars - doc.characterCount() >= unit.characterCount()) {
            c.insertFragment(piece);
        } else {
            writeChunk(c, i);
        }
    }
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Rich %1").arg(chars));
    n.body = doc.toPlainText();
    n.bodyRTF = RtfCodec::write(doc);
    n.link = QStringLiteral("https://example.com/stored");
    return n;
}

// A plain note of one line of about chars characters, emoji among the words.
Note oneLineNote(qsizetype chars) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("One line"));
    const QString words =
        QStringLiteral("words on one endless line 🙂 with example text 👍🏽 and more ");
    n.body.reserve(chars + words.size());
    while (n.body.size() < chars)
        n.body += words;
    return n;
}

// A plain note of one line of about chars characters, words between runs of emoji: an ordinary
// paragraph of about a thousand emoji, each slow to measure.
Note emojiLineNote(qsizetype chars) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Emoji line"));
    const QString words = QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example ");
    while (n.body.size() < chars)
        n.body += words;
    return n;
}

} // namespace

Note emojiFlagsLineNote(qsizetype chars) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Emoji and flags line"));
    const QString run = QStringLiteral("🇺🇦🇩🇪🇯🇵🇧🇷🙂🎉🔥👍🏽👩‍💻🇫🇷🇨🇦🚀🌟❤️🏳️‍🌈🇮🇹🇪🇸😀💡 "
                                       "example ");
    n.body.reserve(chars + run.size());
    while (n.body.size() < chars)
        n.body += run;
    return n;
}

namespace {

QString richPaste() {
    QString html;
    for (int i = 0; html.size() < 1024; ++i)
        html += QStringLiteral(
                    "<p><b>Pasted bold %1</b> <i>italic</i> <span style=\"color:#2060c0\">blue 🙂</span> "
                    "https://example.net/%1</p>")
                    .arg(i);
    return html;
}

struct Figures {
    std::map<std::string, std::vector<double>> ms;
    std::vector<std::string> order;
    void add(const std::string &what, double v) {
        if (!ms.count(what)) order.push_back(what);
        ms[what].push_back(v);
    }
    static double median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? -1 : v[v.size() / 2];
    }
};

class Driver {
public:
    Driver(MeteredApp &meter, NotesView &page, Prefs &prefs) : meter_(meter), page_(page), prefs_(prefs) {}

    double step(const std::function<void()> &fn, const std::function<bool()> &ready = {},
                int settleMs = 400) {
        return meteredStep(meter_, fn, ready, settleMs);
    }

    // The note's view in the detail or in the inline editor, once its document is there.
    QAbstractScrollArea *view() const { return page_.findView(); }
    bool saved() const {
        return !page_.inlineEditorOpen() && !page_.longSavePending() && view() && !prefs_.hasPending();
    }

    // Sends one key to the view that has the note, from the event loop.
    double key(int k, Qt::KeyboardModifiers mods = {}) {
        return step([this, k, mods] {
            if (QAbstractScrollArea *v = view()) QTest::keyClick(v, Qt::Key(k), mods);
        });
    }

    MeteredApp &meter_;
    NotesView &page_;
    Prefs &prefs_;
};

// The time from the start of a step to the first paint of a widget on the page.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget *page) : page_(page) { qApp->installEventFilter(this); }
    void start() {
        clock_.start();
        ms_ = -1;
    }
    double ms() const { return ms_; }
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Paint && ms_ < 0 && clock_.isValid()) {
            auto *w = qobject_cast<QWidget *>(o);
            if (w && (w == page_ || page_->isAncestorOf(w))) ms_ = double(clock_.nsecsElapsed()) / 1e6;
        }
        return false;
    }

private:
    QWidget *page_;
    QElapsedTimer clock_;
    double ms_ = -1;
};

} // namespace

std::vector<BudgetNote> budgetNotes() {
    std::vector<BudgetNote> sizes;
    for (auto [name, chars] : std::initializer_list<std::pair<const char *, qsizetype>>{{"4 KB", 4 << 10},
                                                                                        {"12 KB", 12 << 10},
                                                                                        {"60 KB", 60 << 10},
                                                                                        {"1 MB", 1 << 20},
                                                                                        {"20 MB", 20 << 20}})
        sizes.push_back({name, richNote(chars)});
    sizes.push_back({"50 MB one line", oneLineNote(50 << 20)});
    sizes.push_back({"emoji line", emojiLineNote(4 << 10)});
    return sizes;
}

Note storeBesideAShortNote(NoteStore &store, Prefs &prefs, const Note &measured) {
    Note small(NoteType::text, QStringLiteral("📝"), QStringLiteral("Small"));
    small.body = QStringLiteral("A short note shown between the others.");
    store.replaceAll({small, measured});
    store.settle(120000);
    prefs.flush();
    return small;
}

int runNoteBudget(MeteredApp &meter, int runs) {
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);
    NoteStore::resetForTests();
    NoteStore &store = NoteStore::shared();

    QElapsedTimer made;
    made.start();
    std::vector<BudgetNote> sizes = budgetNotes();
    // The line of emoji and flags is measured only when named (it takes minutes to open and edit).
    if (qEnvironmentVariable("BUDGET_NOTES").split(u',').contains(QStringLiteral("50 MB emoji+flags")))
        sizes.push_back({"50 MB emoji+flags", emojiFlagsLineNote(50 << 20)});
    Note small(NoteType::text, QStringLiteral("📝"), QStringLiteral("Small"));
    small.body = QStringLiteral("A short note shown between the others.");
    std::vector<Note> all{small};
    for (const BudgetNote &s : sizes)
        all.push_back(s.note);
    store.replaceAll(all);
    store.settle(120000);
    prefs.flush();
    std::printf(
        "Text notes on the notes page (made in %.1f s): the longest stretch of the window's thread per "
        "step, median of %d runs; aims: each step <= 16 ms, first paint <= 33 ms\n",
        double(made.elapsed()) / 1000, runs);
    std::fflush(stdout);

    NotesView page;
    page.resize(1000, 700);
    page.setup();
    page.show();
    meter.startMetering();
    Driver d(meter, page, prefs);
    FirstPaint paint(&page);
    const QString smallId = small.id;
    d.step([&] { page.selectNote(smallId); }, [&] { return d.view() != nullptr; });

    const char *steps[] = {"open",
                           "first paint",
                           "scroll",
                           "Edit",
                           "type",
                           "Ctrl+End",
                           "find and step",
                           "find+type",
                           "format a selection",
                           "paste 1 KB rich",
                           "Ctrl+A",
                           "Ctrl+C",
                           "Delete all",
                           "its undo",
                           "its redo",
                           "Save"};
    std::printf("  %-16s", "note");
    for (const char *s : steps)
        std::printf(" %9.9s", s);
    std::printf("\n");
    std::vector<std::string> memLines;
    // BUDGET_NOTES (names, comma-separated) measures only those, e.g. "20 MB,50 MB one line".
    const QStringList only = qEnvironmentVariable("BUDGET_NOTES").split(u',', Qt::SkipEmptyParts);
    for (const BudgetNote &s : sizes) {
        if (!only.isEmpty() && !only.contains(QString::fromLatin1(s.name))) continue;
        Figures f;
        const bool big = s.note.body.size() >= (20 << 20);
        for (int run = 0; run < runs; ++run) {
            const QString id = s.note.id;
            // The note stored afresh here as after the run, so the store holds it alike whenever the
            // memory is read.
            store.update(s.note);
            store.settle(120000);
            prefs.flush();
            d.step([&] { page.selectNote(smallId); }, [&] { return d.view() != nullptr; }, 800);
            const double before = mb("VmRSS");
            resetPeak();
            f.add("open", d.step(
                              [&] {
                                  paint.start();
                                  page.selectNote(id);
                              },
                              [&] { return d.view() != nullptr; }));
            f.add("first paint", paint.ms());
            const double openRss = mb("VmRSS"), openPeak = mb("VmHWM");
            // Ten wheel notches down, as a hand turns it, then the thumb dragged to the middle and the end.
            f.add("scroll",
                  d.step(
                      [&] {
                          for (int i = 0; i < 10; ++i)
                              QTimer::singleShot(i * 20, &page, [&] {
                                  QAbstractScrollArea *v = d.view();
                                  if (!v) return;
                                  const QPoint at(v->viewport()->width() / 2, v->viewport()->height() / 2);
                                  QWheelEvent wheel(at, v->viewport()->mapToGlobal(at), QPoint(),
                                                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                                                    Qt::NoScrollPhase, false);
                                  QCoreApplication::sendEvent(v->viewport(), &wheel);
                              });
                          for (int i : {1, 2})
                              QTimer::singleShot(200 + i * 100, &page, [&, i] {
                                  if (QAbstractScrollArea *v = d.view())
                                      v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum() * i /
                                                                       2);
                              });
                      },
                      {}, 800));
            f.add("Edit", d.step([&] { page.showInlineEditor(id); },
                                 [&] { return page.inlineEditorOpen() && d.view() != nullptr; }));
            if (QAbstractScrollArea *v = d.view()) v->setFocus();
            double typed = 0;
            for (QChar ch : QStringLiteral("Typed "))
                typed = std::max(typed, d.step(
                                            [&, ch] {
                                                if (QAbstractScrollArea *v = d.view())
                                                    QTest::keyClick(v, ch.toLatin1());
                                            },
                                            {}, 60));
            f.add("type", typed);
            f.add("Ctrl+End", d.key(Qt::Key_End, Qt::ControlModifier));
            double found = d.step(
                [&] {
                    page.showFindBar();
                    page.runFind(QStringLiteral("example"));
                },
                [&] { return !page.findCounting(); });
            for (int i = 0; i < 3; ++i)
                found = std::max(found, d.step([&] { page.stepFind(1); }));
            found = std::max(found, d.step([&] { page.hideFindBar(); }));
            f.add("find and step", found);
            // Keys typed with the find bar open: what each one changed is searched again.
            d.step(
                [&] {
                    page.showFindBar();
                    page.runFind(QStringLiteral("example"));
                },
                [&] { return page.findSettled(); });
            double findTyped = 0;
            for (QChar ch : QStringLiteral("example"))
                findTyped = std::max(findTyped, d.step(
                                                    [&, ch] {
                                                        if (QAbstractScrollArea *v = d.view())
                                                            QTest::keyClick(v, ch.toLatin1());
                                                    },
                                                    [&] { return page.findSettled(); }, 60));
            d.step([&] { page.hideFindBar(); });
            f.add("find+type", findTyped);
            // The last lines selected from the end, then made bold.
            double formatted = d.key(Qt::Key_End, Qt::ControlModifier);
            for (int i = 0; i < 3; ++i)
                formatted = std::max(formatted, d.key(Qt::Key_Up, Qt::ShiftModifier));
            formatted = std::max(formatted, d.key(Qt::Key_B, Qt::ControlModifier));
            f.add("format a selection", formatted);
            d.key(Qt::Key_Right);
            auto *mime = new QMimeData;
            const QString html = richPaste();
            mime->setHtml(html);
            QTextDocument plain;
            plain.setHtml(html);
            mime->setText(plain.toPlainText());
            QGuiApplication::clipboard()->setMimeData(mime);
            f.add("paste 1 KB rich", d.key(Qt::Key_V, Qt::ControlModifier));
            // Everything selected, copied, deleted, and the delete undone and redone; undone again, so
            // that what Save stores is the note edited above.
            const double beforeDelete = mb("VmRSS"), peakBeforeDelete = mb("VmHWM");
            resetPeak();
            f.add("Ctrl+A", d.key(Qt::Key_A, Qt::ControlModifier));
            f.add("Ctrl+C", d.key(Qt::Key_C, Qt::ControlModifier));
            // Each until the editor takes keys again (a long one's step is made on a worker).
            const auto editable = [&] {
                auto *v = qobject_cast<QPlainTextEdit *>(d.view());
                return v && !v->isReadOnly() && page.inlineEditorOpen();
            };
            const auto edit = [&](int k, Qt::KeyboardModifiers mods = {}) {
                return d.step(
                    [&, k, mods] {
                        if (QAbstractScrollArea *v = d.view()) QTest::keyClick(v, Qt::Key(k), mods);
                    },
                    editable);
            };
            f.add("Delete all", edit(Qt::Key_Delete));
            f.add("its undo", edit(Qt::Key_Z, Qt::ControlModifier));
            f.add("its redo", edit(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier));
            edit(Qt::Key_Z, Qt::ControlModifier);
            f.add("mem delete peak", mb("VmHWM") - beforeDelete);
            f.add("mem delete", mb("VmRSS") - beforeDelete);
            const double sessionPeakBeforeSave = std::max(peakBeforeDelete, mb("VmHWM")),
                         beforeSave = mb("VmRSS");
            resetPeak();
            f.add("Save", d.step([&] { page.saveInlineEditor(); }, [&] { return d.saved(); }, 800));
            const double savePeak = mb("VmHWM");
            const double sessionPeak = std::max(sessionPeakBeforeSave, savePeak);
            // A figure of steps that did not reach the note would mean nothing.
            if (const Note *saved = store.find(id); !saved ||
                                                    !saved->body.contains(QStringLiteral("Typed ")) ||
                                                    !saved->body.contains(QStringLiteral("Pasted bold")))
                std::printf("  (!) %s: the saved note lacks what was typed or pasted\n", s.name);
            d.step([&] { page.selectNote(smallId); }, [&] { return d.view() != nullptr; }, 1500);
            // Back as it was before the memory is read: the store would else hold the saved note (its
            // text, rich text and encoded record) beside the bench's copy of the note as it was, which
            // is no cost of showing it.
            store.update(s.note);
            store.settle(120000);
            prefs.flush();
            if (big) {
                // The short note used again, as the page uses the note it shows: the store lets go of
                // the large one the update above made the one used last.
                d.step([&] { page.selectNote(smallId); }, [&] { return d.view() != nullptr; }, 1500);
                d.step([] {}, {}, 1500); // the store's own trim and the freeing of the document
                f.add("store decoded", store.decodedCount());
                f.add("store bytes", double(store.heldBytes()) / (1 << 20));
                const double after = mb("VmRSS");
                // What of that is freed but kept by the allocator rather than still held.
                malloc_trim(0);
                f.add("mem after trim", mb("VmRSS") - before);
                f.add("mem open", openRss - before);
                f.add("mem open peak", openPeak - before);
                f.add("mem session peak", sessionPeak - before);
                f.add("mem peak before Save", sessionPeakBeforeSave - before);
                f.add("mem save peak", savePeak - before);
                f.add("mem save peak over edit", savePeak - beforeSave);
                f.add("mem after", after - before);
            }
        }
        std::printf("  %-16s", s.name);
        for (const char *st : steps)
            std::printf(" %9.1f", Figures::median(f.ms[st]));
        std::printf("\n");
        std::fflush(stdout);
        if (big)
            memLines.push_back(
                QStringLiteral(
                    "  %1: open +%2 MB (peak +%3 MB), peak before Save +%10 MB, peak over open..Save +%4 MB "
                    "(Save's own peak +%8 MB, "
                    "+%9 MB over the editor before it), after another note is shown +%5 MB, +%7 MB once the "
                    "allocator returns what is free (aim: <= %6 MB, back within 20 MB)")
                    .arg(QString::fromLatin1(s.name))
                    .arg(Figures::median(f.ms["mem open"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem open peak"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem session peak"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem after"]), 0, 'f', 1)
                    .arg(s.note.body.size() >= (50 << 20) ? 350 : 150)
                    .arg(Figures::median(f.ms["mem after trim"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem save peak"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem save peak over edit"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem peak before Save"]), 0, 'f', 1)
                    .toStdString() +
                QStringLiteral(
                    "; select-all, copy, Delete, undo, redo and undo again: +%3 MB held, peak +%4 MB")
                    .arg(Figures::median(f.ms["mem delete"]), 0, 'f', 1)
                    .arg(Figures::median(f.ms["mem delete peak"]), 0, 'f', 1)
                    .toStdString() +
                QStringLiteral("; the store then holds %1 notes decoded and %2 MB of their bytes")
                    .arg(Figures::median(f.ms["store decoded"]))
                    .arg(Figures::median(f.ms["store bytes"]), 0, 'f', 1)
                    .toStdString());
    }
    std::printf("Memory over what the app held with a short note shown (median of %d):\n", runs);
    for (const std::string &l : memLines)
        std::printf("%s\n", l.c_str());
    NoteStore::resetForTests();
    Prefs::install(nullptr);
    return 0;
}
