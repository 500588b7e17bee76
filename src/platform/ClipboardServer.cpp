#include "platform/ClipboardServer.h"

#include "platform/Handover.h"
#include "platform/MadeOnAsk.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

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

void ClipboardServer::install() {
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    static ClipboardServer *server = nullptr;
    if (server) return;
    server = new ClipboardServer(x11->connection());
    server->setParent(qApp);
    qApp->installNativeEventFilter(server);
}

ClipboardServer::ClipboardServer(xcb_connection_t *c) : c_(c) {
    clipboard_ = atom("CLIPBOARD");
    utf8_ = atom("UTF8_STRING");
    plainUtf8_ = atom("text/plain;charset=utf-8");
    rtf_ = atom("text/rtf");
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
    };
    const auto e = Handover::takenFromQt<Event>(message);
    switch (e.any.response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        return serve(&e.request);
    case XCB_PROPERTY_NOTIFY:
        return answers_->propertyChanged(e.notify.window, e.notify.atom, e.notify.state == XCB_PROPERTY_DELETE);
    case XCB_DESTROY_NOTIFY:
        return answers_->windowGone(e.destroyed.window);
    default:
        return false;
    }
}

bool ClipboardServer::serve(const void *request) {
    const auto *req = static_cast<const xcb_selection_request_event_t *>(request);
    if (!req->target) return false;
    const bool rtf = rtf_ && req->target == rtf_;
    if (!rtf && req->target != utf8_ && req->target != plainUtf8_) return false;
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
    const QMimeData *data = clipboard->mimeData(mode);
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
        answers_->ask(r, [this, held, later, mime](std::function<void(std::optional<QByteArray>)> done) {
            if (!held) {
                done(std::nullopt);
                return;
            }
            later->whenMade(mime, this, [done = std::move(done)](MadeOnAsk::Made m) {
                done(m.refused ? std::nullopt : std::optional<QByteArray>(std::move(m.bytes)));
            });
        });
        return true;
    }
    if (rtf) return false;
    // What Qt would hand over for these targets; a long copy holds it already.
    QByteArray bytes = data->data(mime);
    if (bytes.size() <= kChunk) return false;
    answers_->answer(r, std::move(bytes));
    return true;
}
