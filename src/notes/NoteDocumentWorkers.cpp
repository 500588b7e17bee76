#include "notes/NoteDocument.h"

#include "notes/EmojiAhead.h"
#include "notes/NoteDocumentParts.h"
#include "notes/NoteStore.h"
#include "notes/PacedLayout.h"
#include "platform/Background.h"
#include "platform/Clock.h"
#include "platform/Prefs.h"
#include "platform/StoreLoader.h"
#include <QCoreApplication>
#include <QFile>
#include <QTextDocument>
#include <QThread>
#include <QVariant>
#include <algorithm>
#include <memory>
#include <optional>

namespace NoteDocument {
std::atomic<bool> g_quitting{false};

namespace {
void watchQuit() {
    static const bool hooked = [] {
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { g_quitting = true; });
        return true;
    }();
    (void)hooked;
}
} // namespace

void discard(QTextDocument *doc) {
    if (!doc) return;
    if (doc->characterCount() <= kLongChars) {
        doc->deleteLater();
        return;
    }
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    // The heap keeps what a worker freed (each worker has an arena of its own): the megabytes of the
    // document go back to the system, not only to the allocator. A note's decode waits for it.
    StoreLoader::freeLater([doc] {
        doc->moveToThread(QThread::currentThread());
        delete doc;
    });
}

namespace {
// A document made or edited on a worker, on its way to the receiver's thread. It belongs to no thread
// meanwhile: the receiver's thread takes it, and one no receiver takes any more is freed where it is
// dropped, on a worker.
struct Handed {
    std::unique_ptr<QTextDocument> doc;
    int caret = -1;
    bool unread = false;
};

std::unique_ptr<QTextDocument> pull(QTextDocument *doc) {
    doc->moveToThread(QThread::currentThread());
    return std::unique_ptr<QTextDocument>(doc);
}

std::unique_ptr<QTextDocument> let(std::unique_ptr<QTextDocument> doc) {
    if (doc) doc->moveToThread(nullptr);
    return doc;
}

// Quitting stops them (g_quitting) and waits for them to end: a document must not be laid out once the
// application is gone.
Background::Options working(const char *what) {
    return {QString::fromLatin1(what), Background::AtQuit::end, {}};
}

void startBuild(Note &&note, bool takesText, const Style &style, QObject *receiver,
                std::function<void(QTextDocument *)> done) {
    watchQuit();
    // The emoji shown first are drawn meanwhile, a few per turn (see drawEmojiAheadOf).
    if (qApp && QThread::currentThread() == qApp->thread())
        drawEmojiAheadOf(QStringView(note.body).first(std::min(note.body.size(), kPieceChars)), style);
    // Made empty here, where a view may take it as it is made (see PacedLayout::makeDocument).
    QTextDocument *into = PacedLayout::makeDocument();
    into->moveToThread(nullptr); // pulled by the worker
    Background::run<Handed>(
        receiver,
        [note = std::move(note), takesText, style, into]() mutable {
            // Its own copy, let go of as the document is made (see buildFrom).
            Note own = std::move(note);
            const bool large = own.body.size() > kLongChars;
            Handed h;
            std::unique_ptr<QTextDocument> empty = pull(into);
            h.doc.reset(g_quitting ? nullptr : buildFrom(own, style, takesText, &h.unread, empty.release()));
            // Reading the rich text and cutting the lines left as much again freed in this worker's
            // arena.
            if (large) StoreLoader::trimHeapLater();
            h.doc = let(std::move(h.doc));
            return h;
        },
        [done = std::move(done)](Handed h) {
            if (h.unread)
                done(nullptr);
            else if (h.doc)
                done(pull(h.doc.release()).release());
        },
        working("a note's document being built"));
}
} // namespace

void buildLater(const Note &note, const Style &style, QObject *receiver, std::function<void(QTextDocument *)> done) {
    startBuild(Note(note), false, style, receiver, std::move(done));
}

void buildLater(Note &&note, const Style &style, QObject *receiver, std::function<void(QTextDocument *)> done) {
    startBuild(std::move(note), true, style, receiver, std::move(done));
}

void pasteInto(QTextDocument *doc, int from, int to, const QString &text, QObject *receiver,
               std::function<void(QTextDocument *, int, std::vector<FoundLink>)> done) {
    // Written by the worker before it hands the document back, read after.
    auto links = std::make_shared<std::vector<FoundLink>>();
    editLater(
        doc,
        [from, to, text, links](QTextDocument &d) {
            const int caret = longStep(d, [&] { return pasteText(d, from, to, text); });
            if (caret >= 0) *links = findLinks(d, std::min(from, caret), caret);
            return caret;
        },
        receiver, [links, done = std::move(done)](QTextDocument *d, int caret) { done(d, caret, std::move(*links)); });
}

namespace {
// The long steps of a document, each as where its undo stack stood (availableUndoSteps) before and
// after it.
const char *const kLongSteps = "mivoLongSteps";

QList<std::pair<int, int>> longSteps(const QTextDocument &doc) {
    return doc.property(kLongSteps).value<QList<std::pair<int, int>>>();
}
} // namespace

void keepLongStepsBelow(QTextDocument &doc, int top) {
    if (!doc.property(kLongSteps).isValid()) return;
    QList<std::pair<int, int>> steps = longSteps(doc);
    steps.removeIf([top](const std::pair<int, int> &s) { return s.second > top; });
    doc.setProperty(kLongSteps, QVariant::fromValue(steps));
}

int longStep(QTextDocument &doc, const std::function<int()> &edit) {
    const int before = doc.availableUndoSteps();
    const int caret = edit();
    if (caret < 0) return caret;
    keepLongStepsBelow(doc, before);
    if (doc.availableUndoSteps() <= before) return caret;
    QList<std::pair<int, int>> steps = longSteps(doc);
    steps.append({before, doc.availableUndoSteps()});
    doc.setProperty(kLongSteps, QVariant::fromValue(steps));
    return caret;
}

bool longStepNext(const QTextDocument &doc, bool redo) {
    if (redo ? !doc.isRedoAvailable() : !doc.isUndoAvailable()) return false;
    const int at = doc.availableUndoSteps();
    const QList<std::pair<int, int>> steps = longSteps(doc);
    return std::any_of(steps.begin(), steps.end(),
                       [at, redo](const std::pair<int, int> &s) { return (redo ? s.first : s.second) == at; });
}

void editLater(QTextDocument *doc, std::function<int(QTextDocument &)> edit, QObject *receiver,
               std::function<void(QTextDocument *, int)> done) {
    watchQuit();
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    Background::run<Handed>(
        receiver,
        [doc, edit = std::move(edit)] {
            Handed h;
            h.doc = pull(doc);
            h.caret = g_quitting ? -1 : edit(*h.doc);
            if (h.caret < 0) h.doc.reset();
            h.doc = let(std::move(h.doc));
            return h;
        },
        [done = std::move(done)](Handed h) {
            if (h.doc) done(pull(h.doc.release()).release(), h.caret);
            // A long edit's passing allocations (the text pasted, the lines cut from it, what the
            // step replaced) lie freed between what the document keeps, in the heaps of the worker
            // and of this thread: given back, not kept resident for the next edit.
            StoreLoader::trimHeapLater();
        },
        working("a note's document being edited"));
}

namespace {
// Quitting hands these back before the database is closed (settleSaves): the page stores the text
// only once it comes back. One that no worker has taken up by the quit's deadline is read here
// instead, the document still whole, so that the edit is stored (committed, or kept beside the
// database) rather than lost; one a worker is reading then gives up at its next stretch and is read
// here likewise.
void startRead(QTextDocument *doc, QObject *receiver, std::function<void(Saved &, QTextDocument *)> done,
               bool keep, std::optional<Note> fields = std::nullopt) {
    struct Read {
        Saved saved;
        std::unique_ptr<QTextDocument> doc; // when kept
    };
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    auto handed = std::make_shared<std::function<void(Saved &, QTextDocument *)>>(std::move(done));
    // A record of tens of megabytes goes beside the database as it is made, never held whole.
    const QByteArray beside = fields ? QFile::encodeName(Prefs::get().path()) : QByteArray();
    const auto read = [doc, keep, fields, beside] {
        Read r;
        // Asked first: from now on the quit waits for a save's read to give up.
        if (fields && Background::hurried()) return r;
        std::unique_ptr<QTextDocument> own = pull(doc);
        if (fields) {
            bool hurried = false;
            r.saved.record = encodeSpooled(*own, *fields, beside, kSpoolRecordFrom, &r.saved.preview,
                                           &r.saved.richUnwritten, [] { return Background::hurried(); },
                                           &hurried);
            if (hurried) {
                // The quit reads it again on the window's thread (keep): the document stays whole.
                static_cast<void>(let(std::move(own)).release());
                return Read{};
            }
        } else
            r.saved = readText(*own);
        if (keep) r.doc = let(std::move(own));
        return r;
    };
    const auto give = [handed](Read r) {
        std::unique_ptr<QTextDocument> kept = r.doc ? pull(r.doc.release()) : nullptr;
        (*handed)(r.saved, kept.release());
    };
    Background::Options options{QStringLiteral("a long note's save"), Background::AtQuit::handBack, {}, {}};
    if (fields) {
        options.unfinished = [title = fields->title, at = Clock::get().now()] {
            NoteStore::editLostAtQuit(title, at);
        };
        // The same read, on the window's thread, when the quit can wait no longer: what it stores is
        // the note as the user saved it, formats and all.
        options.keep = [read, give] {
            Read r = read();
            if (r.saved.richUnwritten) {
                if (r.doc) pull(r.doc.release()); // freed here: no worker is waited for at quit
                return false;
            }
            give(std::move(r));
            return true;
        };
    }
    Background::run<Read>(receiver, read, give, std::move(options));
}
} // namespace

void readLater(QTextDocument *doc, QObject *receiver, std::function<void(const Saved &)> done) {
    startRead(doc, receiver, [done = std::move(done)](Saved &s, QTextDocument *) { done(s); }, false);
}

void readKeeping(QTextDocument *doc, const Note &fields, QObject *receiver,
                 std::function<void(Saved &, QTextDocument *)> done) {
    startRead(doc, receiver, std::move(done), true, fields);
}

bool settleSaves(const Deadline &deadline) {
    return Background::finishAll(deadline, Background::AtQuit::handBack).isEmpty();
}
} // namespace NoteDocument
