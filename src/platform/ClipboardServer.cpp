#include "platform/ClipboardServer.h"

#include "platform/Handover.h"
#include "platform/StoreLoader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

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
    incr_ = atom("INCR");
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
    };
    const auto e = Handover::takenFromQt<Event>(message);
    switch (e.any.response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        return serve(&e.request);
    case XCB_PROPERTY_NOTIFY:
        return goOn(&e.notify);
    default:
        return false;
    }
}

bool ClipboardServer::serve(const void *request) {
    const auto *req = static_cast<const xcb_selection_request_event_t *>(request);
    if (!req->target || (req->target != utf8_ && req->target != plainUtf8_)) return false;
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
    if (!data || QByteArrayView(data->metaObject()->className()).startsWith("QXcb") ||
        !data->hasFormat(QStringLiteral("text/plain")))
        return false;
    // What Qt would hand over for these targets; a long copy holds it already.
    QByteArray bytes = data->data(QStringLiteral("text/plain"));
    if (bytes.size() <= kChunk) return false;
    const xcb_window_t window = req->requestor;
    const xcb_atom_t property = req->property ? req->property : req->target; // an old program's way
    end(window); // a transfer to it not taken whole is given up
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
    const quint32 size = quint32(std::min<qsizetype>(bytes.size(), 0xffffffff));
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, incr_, 32, 1, &size);
    Transfer &t = transfers_[window];
    t.property = property;
    t.target = req->target;
    t.bytes = std::move(bytes);
    xcb_selection_notify_event_t told{};
    told.response_type = XCB_SELECTION_NOTIFY;
    told.time = req->time;
    told.requestor = window;
    told.selection = req->selection;
    told.target = req->target;
    told.property = property;
    xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&told));
    xcb_flush(c_);
    watchSilence(window);
    return true;
}

bool ClipboardServer::goOn(const void *notify) {
    const auto *n = static_cast<const xcb_property_notify_event_t *>(notify);
    const auto it = transfers_.find(n->window);
    if (it == transfers_.end() || n->atom != it->property) return false;
    if (n->state != XCB_PROPERTY_DELETE) return true; // our own part landing
    Transfer &t = *it;
    const qsizetype part = std::min(kChunk, t.bytes.size() - t.at);
    // The last, empty part tells the other program the text is whole.
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, n->window, t.property, t.target, 8, quint32(part),
                        t.bytes.constData() + t.at);
    t.at += part;
    if (part == 0)
        end(n->window);
    else
        watchSilence(n->window);
    xcb_flush(c_);
    return true;
}

void ClipboardServer::watchSilence(quint32 window) {
    const int stamp = ++stamps_;
    transfers_[window].stamp = stamp;
    QTimer::singleShot(kGiveUpMs, this, [this, window, stamp] {
        const auto it = transfers_.find(window);
        // The window may be gone with its program: it is not touched again.
        if (it != transfers_.end() && it->stamp == stamp) end(window, false);
    });
}

void ClipboardServer::end(quint32 window, bool unwatch) {
    const auto it = transfers_.find(window);
    if (it == transfers_.end()) return;
    // Text the copy no longer holds (another was copied meanwhile) is megabytes, given back on a
    // worker.
    if (it->bytes.isDetached()) StoreLoader::freeLater([bytes = std::move(it->bytes)] {});
    transfers_.erase(it);
    if (!unwatch) return;
    const quint32 none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &none);
    xcb_flush(c_);
}
