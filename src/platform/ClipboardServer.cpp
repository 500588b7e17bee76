#include "platform/ClipboardServer.h"

#include "platform/Handover.h"
#include "platform/MadeOnAsk.h"
#include "platform/StoreLoader.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {
// UTF-8 made Latin-1 as Qt hands text over for STRING and TEXT (a character past Latin-1 is a '?' for
// each of its UTF-16 units), a part of kPart bytes a turn of the event loop.
struct Latin1Making {
    static constexpr qsizetype kPart = 256 * 1024;
    QPointer<QObject> context;
    QByteArray utf8, out;
    qsizetype at = 0;
    std::function<void(QByteArray)> done;
};

// The bytes are UTF-8 as this program writes it: whole, well-formed sequences.
void latin1Part(const std::shared_ptr<Latin1Making> &m) {
    if (!m->context) return;
    const auto *in = reinterpret_cast<const uchar *>(m->utf8.constData());
    const qsizetype size = m->utf8.size();
    const qsizetype end = std::min(m->at + Latin1Making::kPart, size);
    qsizetype i = m->at;
    const qsizetype was = m->out.size();
    m->out.resize(was + (end - i) + 4); // a character takes no more bytes in Latin-1 than in UTF-8
    char *o = m->out.data() + was;
    while (i < end) { // a character begun before end is taken whole
        const uchar b = in[i];
        if (b < 0x80) {
            *o++ = char(b);
            ++i;
        } else if (b < 0xe0) {
            const uint c = (uint(b & 0x1f) << 6) | (i + 1 < size ? (in[i + 1] & 0x3f) : 0);
            *o++ = c <= 0xff ? char(c) : '?';
            i += 2;
        } else if (b < 0xf0) {
            *o++ = '?';
            i += 3;
        } else {
            *o++ = '?'; // a pair in UTF-16
            *o++ = '?';
            i += 4;
        }
    }
    m->out.resize(o - m->out.constData());
    m->at = std::min(i, size);
    if (m->at < size) {
        QTimer::singleShot(0, m->context, [m] { latin1Part(m); });
        return;
    }
    // Megabytes given back on a worker.
    StoreLoader::freeLater([b = std::move(m->utf8)] {});
    m->done(std::move(m->out));
}

// done gets utf8 made Latin-1 whole, from a later turn, unless context is gone by then.
void toLatin1InTurns(QObject *context, QByteArray utf8, std::function<void(QByteArray)> done) {
    auto m = std::make_shared<Latin1Making>();
    m->context = context;
    m->utf8 = std::move(utf8);
    m->out.reserve(m->utf8.size() + 4);
    m->done = std::move(done);
    QTimer::singleShot(0, context, [m] { latin1Part(m); });
}
} // namespace

// The answers' way to the X server.
class ClipboardServer::X : public SelectionAnswers::Transport {
public:
    X(xcb_connection_t *c, quint32 incr, QObject *context) : c_(c), incr_(incr), context_(context) {}
    void notify(const SelectionAnswers::Request &r, bool answered) override {
        xcb_selection_notify_event_t told{};
        told.response_type = XCB_SELECTION_NOTIFY;
        told.time = r.time;
        told.requestor = r.requestor;
        told.selection = r.selection;
        told.target = r.target;
        told.property = answered ? r.property : XCB_NONE;
        xcb_send_event(c_, 0, r.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&told));
        xcb_flush(c_);
    }
    void put(quint32 window, quint32 property, quint32 type, QByteArrayView bytes) override {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, type, 8, quint32(bytes.size()),
                            bytes.constData());
        xcb_flush(c_);
    }
    void putIncr(quint32 window, quint32 property, quint32 size) override {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, incr_, 32, 1, &size);
        xcb_flush(c_);
    }
    void watch(quint32 window, bool on) override {
        const quint32 mask = on ? XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY
                                : XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }
    void after(int ms, std::function<void()> fn) override { QTimer::singleShot(ms, context_, std::move(fn)); }

private:
    xcb_connection_t *c_;
    quint32 incr_;
    QObject *context_;
};

namespace {
QPointer<ClipboardServer> installed;
} // namespace

void ClipboardServer::install() {
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    if (installed) return;
    installed = new ClipboardServer(x11->connection());
    installed->setParent(qApp);
    qApp->installNativeEventFilter(installed);
    qApp->installEventFilter(installed);
}

bool ClipboardServer::eventFilter(QObject *, QEvent *event) {
    // Any drag begins with a press: from then on the dragged note's copy is not the drag's data.
    if (dragged_ && Handover::typeOfPosted(event) == QEvent::MouseButtonPress) dragged_ = nullptr;
    return false;
}

void ClipboardServer::dragging(const QMimeData *data) {
    if (!installed) return;
    // Asks for the drag before are not answered with this one's bytes.
    installed->answers_->selectionChanged(installed->xdnd_);
    installed->dragged_ = data;
}

ClipboardServer::ClipboardServer(xcb_connection_t *c) : c_(c) {
    clipboard_ = atom("CLIPBOARD");
    xdnd_ = atom("XdndSelection");
    xdndFinished_ = atom("XdndFinished");
    utf8_ = atom("UTF8_STRING");
    plainUtf8_ = atom("text/plain;charset=utf-8");
    rtf_ = atom("text/rtf");
    plain_ = atom("text/plain");
    text_ = atom("TEXT");
    x_ = std::make_unique<X>(c, atom("INCR"), this);
    answers_ = std::make_unique<SelectionAnswers>(*x_);
    // An ask not answered yet is refused when its selection changes: never answered with the next
    // data's bytes.
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) answers_->selectionChanged(clipboard_);
        if (mode == QClipboard::Selection) answers_->selectionChanged(XCB_ATOM_PRIMARY);
    });
}

ClipboardServer::~ClipboardServer() {
    answers_.reset(); // before the transport it uses
}

quint32 ClipboardServer::atom(const char *name) const {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return r ? r->atom : 0;
}

bool ClipboardServer::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (eventType != "xcb_generic_event_t") return false;
    // Every event is at least this long: the 32 bytes sent by the server and the sequence xcb adds.
    union Event {
        xcb_generic_event_t any;
        xcb_selection_request_event_t request;
        xcb_property_notify_event_t notify;
        xcb_destroy_notify_event_t destroyed;
        xcb_client_message_event_t message;
    };
    const auto e = Handover::takenFromQt<Event>(message);
    switch (e.any.response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        return serve(&e.request);
    case XCB_PROPERTY_NOTIFY:
        return answers_->propertyChanged(e.notify.window, e.notify.atom, e.notify.state == XCB_PROPERTY_DELETE);
    case XCB_DESTROY_NOTIFY:
        return answers_->windowGone(e.destroyed.window);
    case XCB_CLIENT_MESSAGE:
        // The program the drag was dropped on has taken what it wanted: the next drag may be another
        // widget's, with data of its own.
        if (xdndFinished_ && e.message.type == xdndFinished_) dragged_ = nullptr;
        return false;
    default:
        return false;
    }
}

bool ClipboardServer::serve(const void *request) {
    const auto *req = static_cast<const xcb_selection_request_event_t *>(request);
    if (!req->target) return false;
    const bool rtf = rtf_ && req->target == rtf_;
    // What old programs ask for: the text in Latin-1.
    const bool latin1 = req->target == XCB_ATOM_STRING || (text_ && req->target == text_);
    if (!rtf && !latin1 && req->target != utf8_ && req->target != plainUtf8_ && req->target != plain_)
        return false;
    const QMimeData *data = nullptr;
    if (xdnd_ && req->selection == xdnd_) {
        data = dragged_;
    } else {
        QClipboard::Mode mode;
        if (req->selection == clipboard_)
            mode = QClipboard::Clipboard;
        else if (req->selection == XCB_ATOM_PRIMARY)
            mode = QClipboard::Selection;
        else
            return false;
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!(mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection()))
            return false;
        data = clipboard->mimeData(mode);
    }
    // Taken by another program a moment ago (its news not read yet), the platform's stand-in for
    // that program's clipboard is given: reading it here would wait on the X server. Qt answers.
    if (!data || QByteArrayView(data->metaObject()->className()).startsWith("QXcb")) return false;
    const QString mime = rtf ? QStringLiteral("text/rtf") : QStringLiteral("text/plain");
    if (!data->hasFormat(mime)) return false;
    SelectionAnswers::Request r;
    r.requestor = req->requestor;
    r.selection = req->selection;
    r.target = req->target;
    r.property = req->property ? req->property : req->target; // an old program's way
    r.time = req->time;
    if (const auto *later = dynamic_cast<const MadeOnAsk *>(data); later && later->makesLater(mime)) {
        // Made for the ask without holding this thread; answered once made (or refused).
        QPointer<const QMimeData> held(data);
        answers_->ask(r, [this, held, later, mime, latin1](std::function<void(std::optional<QByteArray>)> done) {
            if (!held) {
                done(std::nullopt);
                return;
            }
            later->whenMade(mime, this, [this, latin1, done = std::move(done)](MadeOnAsk::Made m) {
                if (m.refused) {
                    done(std::nullopt);
                } else if (latin1) {
                    toLatin1InTurns(this, std::move(m.bytes), [done](QByteArray bytes) { done(std::move(bytes)); });
                } else {
                    done(std::move(m.bytes));
                }
            });
        });
        return true;
    }
    if (rtf || latin1) return false;
    // What Qt would hand over for these targets; a long copy holds it already.
    QByteArray bytes = data->data(mime);
    if (bytes.size() <= kChunk) return false;
    answers_->answer(r, std::move(bytes));
    return true;
}
