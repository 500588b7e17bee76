// This program's clipboard text handed to another program over X, as that program reads it: on an X
// server of the test's own, the application is an X client, and the reader another one.
#include "common/HeldPool.h"
#include "common/RichNotes.h"
#include "notes/NoteDocument.h"
#include "notes/SelectionCopy.h"
#include "platform/ClipboardServer.h"
#include "platform/OwnXServer.h"
#include <QClipboard>
#include <QApplication>
#include <QMimeData>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <memory>
#include <QThread>
#include <QTextDocument>
#include <QWindow>
#include <utility>
#include <optional>
#include <thread>
#include <xcb/xcb.h>

namespace {
QByteArray display;

using Reply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>;

// Another program reading the clipboard's text (UTF8_STRING unless told) as X programs do, a part at a time when it is
// handed over in increments. Notes the largest part: each is what the owner wrote at once.
struct Read {
    bool done = false;
    QByteArray bytes;
    qsizetype largestPart = 0;
    int parts = 0;
};

Read readAsAnotherProgram(const char *selectionName, const char *targetName) {
    Read out;
    xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
    const auto atom = [c](const char *name) {
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr),
            &std::free);
        return r ? r->atom : xcb_atom_t(XCB_NONE);
    };
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    const xcb_atom_t selection = atom(selectionName), target = atom(targetName), incr = atom("INCR"),
                     property = atom("READ_HERE");
    const auto next = [c]() -> std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> {
        for (;;) {
            if (auto *e = xcb_poll_for_event(c)) return {e, &std::free};
            pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
            if (::poll(&p, 1, 60'000) != 1 || xcb_connection_has_error(c)) return {nullptr, &std::free};
        }
    };
    const auto take = [&]() {
        Reply r(
            xcb_get_property_reply(
                c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 28), nullptr),
            &std::free);
        xcb_flush(c);
        return r;
    };
    xcb_convert_selection(c, window, selection, target, property, XCB_CURRENT_TIME);
    xcb_flush(c);
    for (;;) {
        const auto e = next();
        if (!e) break;
        if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY) continue;
        if (reinterpret_cast<xcb_selection_notify_event_t *>(e.get())->property == XCB_NONE) break;
        const Reply first = take(); // deleting it asks for the first part
        if (!first) break;
        if (first->type != incr) {
            out.bytes = QByteArray(static_cast<const char *>(xcb_get_property_value(first.get())),
                                   xcb_get_property_value_length(first.get()));
            out.largestPart = out.bytes.size();
            out.parts = 1;
            out.done = true;
            break;
        }
        for (;;) {
            const auto n = next();
            if (!n) break;
            if ((n->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) continue;
            const auto *p = reinterpret_cast<xcb_property_notify_event_t *>(n.get());
            if (p->atom != property || p->state != XCB_PROPERTY_NEW_VALUE) continue;
            const Reply part = take();
            if (!part) break;
            const int size = xcb_get_property_value_length(part.get());
            if (size == 0) {
                out.done = true;
                break;
            }
            out.bytes.append(static_cast<const char *>(xcb_get_property_value(part.get())), size);
            out.largestPart = std::max<qsizetype>(out.largestPart, size);
            ++out.parts;
        }
        break;
    }
    xcb_disconnect(c);
    return out;
}

// Read on a thread of its own while this one runs the event loop, as the window's thread does;
// afterTurn, when given, is called after each turn (then a pass of the event loop each: given a
// time, processEvents runs turn after turn until it is up).
Read readWhileServing(const char *selection, const std::function<void()> &afterTurn = {},
                      const char *target = "UTF8_STRING") {
    Read r;
    std::atomic<bool> finished = false;
    std::thread reader([&] {
        r = readAsAnotherProgram(selection, target);
        finished = true;
    });
    while (!finished) {
        if (!afterTurn) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        afterTurn();
    }
    reader.join();
    return r;
}

// Several megabytes whose characters take one to four bytes, so parts end inside them.
QString longText() {
    QString s;
    for (int i = 0; s.size() < 3'000'000; ++i)
        s += QStringLiteral("line %1 é ünïcode €100 🇺🇦👍🏽\n").arg(i);
    return s;
}
} // namespace

class TestClipboardServer : public QObject {
    Q_OBJECT
private slots:
    // A long text reaches the other program byte for byte, never more than a part written at once
    // (Qt wrote all of it in one request of the window's thread); as the clipboard and as the
    // primary selection. A short one is Qt's to hand over, whole.
    void theTextIsHandedOverAPartPerTurn() {
        if (display.isEmpty()) QSKIP("no X server of the test's own: Xvfb is missing or did not start");
        QClipboard *clipboard = QGuiApplication::clipboard();
        const QString text = longText();
        const QByteArray utf8 = text.toUtf8();
        QVERIFY(utf8.size() > 3 * ClipboardServer::kChunk);
        for (const auto &[mode, name] :
             {std::pair{QClipboard::Clipboard, "CLIPBOARD"}, std::pair{QClipboard::Selection, "PRIMARY"}}) {
            auto *data = new QMimeData;
            data->setText(text);
            clipboard->setMimeData(data, mode);
            const Read r = readWhileServing(name);
            QVERIFY2(r.done, name);
            QVERIFY2(r.bytes == utf8, name);
            QVERIFY2(r.largestPart <= ClipboardServer::kChunk, name);
            QVERIFY2(r.parts > 3, name);
        }
        // Handed over twice in a row: a finished transfer leaves nothing behind that takes the next.
        const Read again = readWhileServing("CLIPBOARD");
        QVERIFY(again.done);
        QVERIFY(again.bytes == utf8);

        const QString shortText = QStringLiteral("short é🙂");
        clipboard->setText(shortText, QClipboard::Clipboard);
        const Read s = readWhileServing("CLIPBOARD");
        QVERIFY(s.done);
        QCOMPARE(s.bytes, shortText.toUtf8());
    }

    // A note's long copy is made for the other program without holding the window's thread: never
    // more than a slice of it read there in a turn, every worker busy or not, and it arrives whole;
    // in every form X programs ask text in (old ones Latin-1, a '?' for what it lacks).
    void aLongCopyIsMadeWithoutHoldingTheWindow() {
        if (display.isEmpty()) QSKIP("no X server of the test's own: Xvfb is missing or did not start");
        QString body;
        for (int i = 0; body.size() < 1'500'000; ++i)
            body += QStringLiteral("line %1 é ünïcode €100 🇺🇦👍🏽 and more words in it\n").arg(i);
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(body), {QFont(), Qt::black, Qt::blue}));
        QClipboard *clipboard = QGuiApplication::clipboard();
        for (const bool busy : {false, true}) {
            std::optional<HeldPool> held;
            if (busy) held.emplace();
            const int from = busy ? 1 : 0;
            // What the window's thread read of the document in each turn.
            const Qt::HANDLE window = QThread::currentThreadId();
            std::atomic<qsizetype> thisTurn = 0;
            qsizetype mostInATurn = 0;
            const auto read = [&](QString &out, const QTextDocument &d, int f, int at, int to, qsizetype atMost) {
                const qsizetype was = out.size();
                const int next = NoteDocument::appendStoredText(out, d, f, at, to, atMost);
                if (QThread::currentThreadId() == window) thisTurn += out.size() - was;
                return next;
            };
            clipboard->setMimeData(new SelectionCopy(doc.get(), from, doc->characterCount() - 1, read,
                                                     NoteDocument::richCopy),
                                   QClipboard::Clipboard);
            for (const char *target : {"UTF8_STRING", "text/plain", "STRING", "TEXT"}) {
                const QString what = QStringLiteral("%1, workers busy: %2").arg(target).arg(busy);
                const Read r = readWhileServing("CLIPBOARD", [&] {
                    mostInATurn = std::max<qsizetype>(mostInATurn, thisTurn.exchange(0));
                }, target);
                QVERIFY2(r.done, qPrintable(what));
                const bool latin1 = !std::strcmp(target, "STRING") || !std::strcmp(target, "TEXT");
                QVERIFY2(r.bytes == (latin1 ? body.mid(from).toLatin1() : body.mid(from).toUtf8()), qPrintable(what));
                QVERIFY2(r.parts > 1, qPrintable(what));
                QVERIFY2(mostInATurn < 2 * SelectionCopy::kSliceChars,
                         qPrintable(what + QStringLiteral(": %1 read in a turn").arg(mostInATurn)));
            }
        }
    }

    // The program a long selection is dropped on asks for it as for a paste: it is made for it the
    // same way, every worker busy, while the copy dragged lives; a drag of other data after it is
    // not answered with its bytes.
    void aDraggedLongCopyIsMadeWithoutHoldingTheWindow() {
        if (display.isEmpty()) QSKIP("no X server of the test's own: Xvfb is missing or did not start");
        QString body;
        for (int i = 0; body.size() < 600'000; ++i)
            body += QStringLiteral("line %1 é ünïcode €100 🇺🇦👍🏽\n").arg(i);
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(body), {QFont(), Qt::black, Qt::blue}));
        qsizetype thisTurn = 0, mostInATurn = 0;
        const auto read = [&](QString &out, const QTextDocument &d, int f, int at, int to, qsizetype atMost) {
            const qsizetype was = out.size();
            const int next = NoteDocument::appendStoredText(out, d, f, at, to, atMost);
            thisTurn += out.size() - was;
            return next;
        };
        // This program owns the drag's selection, as Qt makes it while dragging.
        xcb_connection_t *c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        QWindow source;
        source.create();
        const char *name = "XdndSelection";
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> xdnd(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr), &std::free);
        xcb_set_selection_owner(c, xcb_window_t(source.winId()), xdnd->atom, XCB_CURRENT_TIME);
        xcb_flush(c);
        auto dragged = std::make_unique<SelectionCopy>(doc.get(), 0, doc->characterCount() - 1, read,
                                                       NoteDocument::richCopy);
        ClipboardServer::dragging(dragged.get());
        HeldPool held;
        const Read r = readWhileServing(name, [&] { mostInATurn = std::max(mostInATurn, std::exchange(thisTurn, 0)); },
                                        "text/plain");
        QVERIFY(r.done);
        QVERIFY(r.bytes == body.toUtf8());
        QVERIFY2(mostInATurn < 2 * SelectionCopy::kSliceChars, qPrintable(QString::number(mostInATurn)));

        // A press here may start another drag, whose data Qt answers: the note's is not handed over.
        ClipboardServer::dragging(dragged.get());
        QTest::mousePress(&source, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseRelease(&source, Qt::LeftButton, {}, QPoint(2, 2));
        const Read afterPress = readWhileServing(name, {}, "text/plain");
        QVERIFY(!afterPress.bytes.contains("line 1 "));

        auto other = std::make_unique<QMimeData>();
        other->setText(QStringLiteral("another drag"));
        ClipboardServer::dragging(other.get());
        const Read next = readWhileServing(name, {}, "text/plain");
        QVERIFY(!next.bytes.contains("line 1 "));
    }
};

int main(int argc, char **argv) {
    OwnServer server;
    display = server.display();
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv); // QtTest's mouse events take the application as QApplication in a widgets program
    ClipboardServer::install();
    TestClipboardServer t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_clipboard_server.moc"
