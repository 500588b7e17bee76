#include "notes/NoteDocument.h"

#include "notes/NoteDocumentParts.h"
#include "platform/StoreLoader.h"
#include <QCoreApplication>
#include <QPointer>
#include <QTextDocument>
#include <QThread>
#include <QThreadPool>
#include <condition_variable>
#include <memory>
#include <mutex>
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
    QThreadPool::globalInstance()->start([doc] {
        doc->moveToThread(QThread::currentThread());
        delete doc;
        // The heap keeps what a worker freed (each worker has an arena of its own): the megabytes
        // of the document go back to the system, not only to the allocator.
        StoreLoader::trimHeapLater();
    });
}

namespace {
void startBuild(Note &&note, bool takesText, const Style &style, QObject *receiver,
                std::function<void(QTextDocument *)> done) {
    QPointer<QObject> to(receiver);
    QThread *target = receiver->thread();
    watchQuit();
    QThreadPool::globalInstance()->start([note = std::move(note), takesText, style, to, target,
                                          done = std::move(done)]() mutable {
        // Its own copy, let go of as the document is made (see buildFrom).
        Note own = std::move(note);
        const bool large = own.body.size() > kLongChars;
        bool unread = false;
        QTextDocument *doc = g_quitting ? nullptr : buildFrom(own, style, takesText, &unread);
        // Reading the rich text and cutting the lines left as much again freed in this worker's arena.
        if (large) StoreLoader::trimHeapLater();
        if (unread) {
            QMetaObject::invokeMethod(qApp, [to, done] { if (to) done(nullptr); }, Qt::QueuedConnection);
            return;
        }
        if (!doc) return;
        doc->moveToThread(target);
        // qApp outlives the pool's tasks; the receiver is checked on its own thread. The call owns
        // the document until done takes it: one dropped unrun (the application ends before its
        // queued calls run) deletes it.
        QMetaObject::invokeMethod(qApp, [owned = std::unique_ptr<QTextDocument>(doc), to, done]() mutable {
            if (to) done(owned.release());
        }, Qt::QueuedConnection);
    });
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
            const int caret = pasteText(d, from, to, text);
            if (caret >= 0) *links = findLinks(d, std::min(from, caret), caret);
            return caret;
        },
        receiver, [links, done = std::move(done)](QTextDocument *d, int caret) { done(d, caret, std::move(*links)); });
}

void editLater(QTextDocument *doc, std::function<int(QTextDocument &)> edit, QObject *receiver,
               std::function<void(QTextDocument *, int)> done) {
    QPointer<QObject> dest(receiver);
    QThread *target = receiver->thread();
    watchQuit();
    QTextDocument *copy = doc;
    copy->setParent(nullptr);
    copy->moveToThread(nullptr); // pulled by the worker
    QThreadPool::globalInstance()->start([copy, edit = std::move(edit), dest, target,
                                          done = std::move(done)] {
        copy->moveToThread(QThread::currentThread());
        const int caret = g_quitting ? -1 : edit(*copy);
        if (caret < 0) {
            delete copy;
            return;
        }
        copy->moveToThread(target);
        std::unique_ptr<QTextDocument> owned(copy); // as in buildLater
        QMetaObject::invokeMethod(qApp, [owned = std::move(owned), caret, dest, done]() mutable {
            // A text of megabytes no one takes any more is freed on a worker, not on this thread.
            if (dest)
                done(owned.release(), caret);
            else
                discard(owned.release());
        }, Qt::QueuedConnection);
    });
}

namespace {
// A save read on a worker, until its text has been handed to the page. Quitting waits for these
// (settleSaves): the page stores the text only once it comes back, and the database is closed at quit.
struct PendingSave {
    std::mutex m;
    std::condition_variable ready;
    std::optional<Saved> saved; // set by the worker
    QPointer<QObject> to;
    std::function<void(Saved &, QTextDocument *)> done;
    bool keep = false;                  // the document read comes back with the text
    std::unique_ptr<QTextDocument> doc; // when kept: set by the worker, moved to the window's thread
    bool delivered = false;             // window's thread only
};
std::vector<std::shared_ptr<PendingSave>> g_saves; // window's thread only

void deliver(const std::shared_ptr<PendingSave> &p) {
    if (p->delivered) return;
    p->delivered = true;
    std::erase(g_saves, p);
    Saved s;
    std::unique_ptr<QTextDocument> doc;
    {
        std::lock_guard l(p->m);
        s = std::move(*p->saved);
        doc = std::move(p->doc);
    }
    if (p->to) p->done(s, doc.release());
    if (doc) discard(doc.release());
}
} // namespace

namespace {
void startRead(QTextDocument *doc, QObject *receiver, std::function<void(Saved &, QTextDocument *)> done,
               bool keep, std::optional<Note> fields = std::nullopt) {
    auto p = std::make_shared<PendingSave>();
    p->to = receiver;
    p->done = std::move(done);
    p->keep = keep;
    g_saves.push_back(p);
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    QThread *target = qApp->thread();
    QThreadPool::globalInstance()->start([doc, p, target, fields = std::move(fields)] {
        doc->moveToThread(QThread::currentThread());
        Saved s;
        if (fields)
            s.record = encodeSaved(*doc, *fields, &s.preview, &s.richUnwritten);
        else
            s = readText(*doc);
        std::unique_ptr<QTextDocument> kept(doc);
        if (p->keep)
            kept->moveToThread(target);
        else
            kept.reset();
        {
            std::lock_guard l(p->m);
            p->saved = std::move(s);
            p->doc = std::move(kept);
        }
        p->ready.notify_all();
        QMetaObject::invokeMethod(qApp, [p] { deliver(p); }, Qt::QueuedConnection);
    });
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
    for (const std::shared_ptr<PendingSave> &p : std::vector(g_saves)) {
        {
            std::unique_lock l(p->m);
            if (!deadline.wait(p->ready, l, [&] { return p->saved.has_value(); })) return false;
        }
        deliver(p);
    }
    return true;
}
} // namespace NoteDocument
