#include "platform/ClipboardReader.h"

#include "platform/Background.h"
#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QList>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <xcb/xcb.h>

namespace {
ClipboardReader *g_installed = nullptr;

template <class T> std::unique_ptr<T, decltype(&std::free)> owned(T *p) {
    return {p, &std::free};
}

// How long the clipboard's owner may take to answer each request, as long as Qt gives it.
constexpr int kAnswerMs = 5000;
// A property is read this many bytes at a time.
constexpr uint32_t kPartBytes = 1 << 20;

// One clipboard read over a connection of its own, on a window no one sees.
class XRead {
public:
    explicit XRead(const QByteArray &display) {
        c_ = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber_);
    }
    ~XRead() {
        if (window_) xcb_destroy_window(c_, window_);
        xcb_disconnect(c_);
    }
    XRead(const XRead &) = delete;
    XRead &operator=(const XRead &) = delete;

    ClipboardReader::Read read() {
        using Kind = ClipboardReader::Read::Kind;
        if (xcb_connection_has_error(c_) || !openWindow()) return {Kind::asQt, {}};
        const xcb_atom_t clipboard = atom("CLIPBOARD"), targets = atom("TARGETS"), utf8 = atom("UTF8_STRING"),
                         plainUtf8 = atom("text/plain;charset=utf-8");
        incr_ = atom("INCR");
        property_ = atom("MIVO_CLIPBOARD");
        if (!clipboard || !targets || !utf8 || !incr_ || !property_) return {Kind::asQt, {}};
        const auto owner = owned(xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, clipboard), nullptr));
        if (!owner || owner->owner == XCB_NONE) return {Kind::nothing, {}};
        // An owner that does not answer gets no second try; one that refuses is asked again by Qt.
        QByteArray offered;
        if (const Got got = convert(clipboard, targets, &offered); got != Got::read)
            return {got == Got::refused ? Kind::asQt : Kind::nothing, {}};
        QList<xcb_atom_t> kinds(offered.size() / qsizetype(sizeof(xcb_atom_t)));
        std::memcpy(kinds.data(), offered.constData(), size_t(kinds.size()) * sizeof(xcb_atom_t));
        // Anything richer than plain text is read as Qt reads it (the note keeps its formats).
        for (const char *rich : {"text/html", "text/rtf", "application/rtf", "text/richtext"})
            if (const xcb_atom_t a = atom(rich, true); a && kinds.contains(a)) return {Kind::asQt, {}};
        const xcb_atom_t as = kinds.contains(utf8) ? utf8 : (plainUtf8 && kinds.contains(plainUtf8) ? plainUtf8 : 0);
        if (!as) return {Kind::asQt, {}};
        QByteArray text;
        if (const Got got = convert(clipboard, as, &text); got != Got::read)
            return {got == Got::refused ? Kind::asQt : Kind::nothing, {}};
        if (text.endsWith('\0')) text.chop(1);
        return {Kind::text, QString::fromUtf8(text)};
    }

private:
    xcb_connection_t *c_ = nullptr;
    int screenNumber_ = 0;
    xcb_window_t window_ = 0;
    xcb_atom_t incr_ = 0, property_ = 0;

    bool openWindow() {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screenNumber_ && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem) return false;
        window_ = xcb_generate_id(c_);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, it.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, it.data->root_visual, XCB_CW_EVENT_MASK, &events);
        return true;
    }

    xcb_atom_t atom(const char *name, bool onlyIfExists = false) {
        const auto r = owned(xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, onlyIfExists, uint16_t(std::strlen(name)), name), nullptr));
        return r ? r->atom : 0;
    }

    // The next event that matches, or nothing once the owner has taken too long.
    template <class Match> std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> waitFor(Match match) {
        xcb_flush(c_);
        const QDeadlineTimer deadline(kAnswerMs);
        for (;;) {
            while (auto e = owned(xcb_poll_for_event(c_)))
                if (match(e.get())) return e;
            if (xcb_connection_has_error(c_) || deadline.hasExpired()) return owned<xcb_generic_event_t>(nullptr);
            pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&fd, 1, int(std::max<qint64>(1, deadline.remainingTime())));
        }
    }

    // Appends the property's value (read in parts, taken off as read when remove) to out; its type.
    std::optional<xcb_atom_t> takeProperty(bool remove, QByteArray *out) {
        uint32_t offset = 0;
        for (;;) {
            const auto r = owned(xcb_get_property_reply(
                c_, xcb_get_property(c_, false, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, offset / 4, kPartBytes / 4),
                nullptr));
            if (!r) return std::nullopt;
            const int bytes = xcb_get_property_value_length(r.get());
            if (r->type != incr_) out->append(static_cast<const char *>(xcb_get_property_value(r.get())), bytes);
            offset += uint32_t(bytes);
            if (r->bytes_after == 0) {
                if (remove) xcb_delete_property(c_, window_, property_);
                return r->type;
            }
        }
    }

    enum class Got { read, refused, unanswered };

    // Asks the owner for the selection as target and reads what it gives, in increments when it
    // sends it so.
    Got convert(xcb_atom_t selection, xcb_atom_t target, QByteArray *out) {
        xcb_convert_selection(c_, window_, selection, target, property_, XCB_CURRENT_TIME);
        const auto notified = waitFor([](xcb_generic_event_t *e) {
            return (e->response_type & ~0x80) == XCB_SELECTION_NOTIFY;
        });
        if (!notified) return Got::unanswered;
        if (reinterpret_cast<xcb_selection_notify_event_t *>(notified.get())->property == XCB_NONE) return Got::refused;
        const std::optional<xcb_atom_t> type = takeProperty(true, out);
        if (!type) return Got::unanswered;
        if (*type != incr_) return Got::read;
        // In increments: each new value is the next part, an empty one the end.
        for (;;) {
            const auto changed = waitFor([this](xcb_generic_event_t *e) {
                if ((e->response_type & ~0x80) != XCB_PROPERTY_NOTIFY) return false;
                const auto *p = reinterpret_cast<xcb_property_notify_event_t *>(e);
                return p->atom == property_ && p->state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!changed) return Got::unanswered;
            const qsizetype before = out->size();
            if (!takeProperty(true, out)) return Got::unanswered;
            if (out->size() == before) return Got::read;
        }
    }
};
} // namespace

bool ClipboardReader::readsApart() const {
    return QGuiApplication::platformName() == QLatin1String("xcb") && !QGuiApplication::clipboard()->ownsClipboard();
}

void ClipboardReader::readLater(QObject *receiver, std::function<void(Read)> done) {
    Background::run<Read>(
        receiver, [display = qgetenv("DISPLAY")] { return readNow(display); }, std::move(done),
        {QStringLiteral("the clipboard being read")});
}

ClipboardReader::Read ClipboardReader::readNow(const QByteArray &display) {
    return XRead(display).read();
}

ClipboardReader &ClipboardReader::get() {
    static ClipboardReader real;
    return g_installed ? *g_installed : real;
}

void ClipboardReader::install(ClipboardReader *r) {
    g_installed = r;
}
