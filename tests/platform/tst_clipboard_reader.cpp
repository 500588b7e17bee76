// Another program's clipboard read over an X connection of the reader's own: on an X server of the
// test's own, another client owns the clipboard and hands its text over as X programs do.
#include "platform/ClipboardReader.h"
#include "platform/OwnXServer.h"
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {
xcb_atom_t atom(xcb_connection_t *c, const char *name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr), &std::free);
    return r ? r->atom : XCB_NONE;
}

// Another program that owns the clipboard and offers text as UTF8_STRING, in increments when it is
// longer than a part; with goneAfter, it quits (its connection closed) after that many parts.
class Owner {
public:
    Owner(const QByteArray &display, QByteArray text, int goneAfter = -1)
        : text_(std::move(text)), goneAfter_(goneAfter) {
        c_ = xcb_connect(display.constData(), nullptr);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        clipboard_ = atom(c_, "CLIPBOARD");
        targets_ = atom(c_, "TARGETS");
        utf8_ = atom(c_, "UTF8_STRING");
        incr_ = atom(c_, "INCR");
        xcb_set_selection_owner(c_, window_, clipboard_, XCB_CURRENT_TIME);
        const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, clipboard_), nullptr), &std::free);
        owns_ = owner && owner->owner == window_;
        serving_ = std::thread([this] { serve(); });
    }
    ~Owner() {
        stop_ = true;
        serving_.join();
        if (c_) xcb_disconnect(c_);
    }
    bool owns() const { return owns_; }
    int partsSent() const { return parts_; }

private:
    static constexpr qsizetype kPart = 64 * 1024;

    void serve() {
        while (!stop_ && c_) {
            pollfd p{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&p, 1, 50); // looks at stop_ again now and then
            while (c_) {
                const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> e(xcb_poll_for_event(c_), &std::free);
                if (!e) break;
                const int type = e->response_type & ~0x80;
                if (type == XCB_SELECTION_REQUEST)
                    answer(*reinterpret_cast<xcb_selection_request_event_t *>(e.get()));
                else if (type == XCB_PROPERTY_NOTIFY)
                    next(*reinterpret_cast<xcb_property_notify_event_t *>(e.get()));
            }
            if (c_ && xcb_connection_has_error(c_)) return;
        }
    }

    void answer(const xcb_selection_request_event_t &r) {
        const xcb_atom_t property = r.property == XCB_NONE ? r.target : r.property;
        xcb_selection_notify_event_t n{};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = r.time;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.property = property;
        if (r.target == targets_) {
            const xcb_atom_t offered[] = {targets_, utf8_};
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, XCB_ATOM_ATOM, 32, 2, offered);
        } else if (r.target == utf8_ && text_.size() <= kPart) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, utf8_, 8, uint32_t(text_.size()),
                                text_.constData());
        } else if (r.target == utf8_) {
            // Told of the requestor's property changes: each deletion asks for the next part.
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c_, r.requestor, XCB_CW_EVENT_MASK, &events);
            const auto size = uint32_t(text_.size());
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, incr_, 32, 1, &size);
            requestor_ = r.requestor;
            property_ = property;
            sent_ = 0;
        } else {
            n.property = XCB_NONE;
        }
        xcb_send_event(c_, 0, r.requestor, 0, reinterpret_cast<const char *>(&n));
        xcb_flush(c_);
    }

    void next(const xcb_property_notify_event_t &p) {
        if (p.window != requestor_ || p.atom != property_ || p.state != XCB_PROPERTY_DELETE || sent_ < 0) return;
        if (parts_ == goneAfter_) {
            xcb_disconnect(c_); // as a program that quits or crashes mid-transfer
            c_ = nullptr;
            return;
        }
        const qsizetype n = std::min(kPart, text_.size() - sent_);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor_, property_, utf8_, 8, uint32_t(n),
                            text_.constData() + sent_);
        sent_ = n == 0 ? -1 : sent_ + n; // an empty part ends the transfer
        ++parts_;
        xcb_flush(c_);
    }

    xcb_connection_t *c_ = nullptr;
    xcb_window_t window_ = 0, requestor_ = 0;
    xcb_atom_t clipboard_ = 0, targets_ = 0, utf8_ = 0, incr_ = 0, property_ = 0;
    QByteArray text_;
    const int goneAfter_;
    qsizetype sent_ = -1;
    std::atomic<int> parts_ = 0;
    bool owns_ = false;
    std::atomic<bool> stop_ = false;
    std::thread serving_;
};

// Text of several megabytes whose characters take one to four bytes, so parts end inside them.
QString longText() {
    QString s;
    for (int i = 0; s.size() < 1'500'000; ++i)
        s += QStringLiteral("line %1 é ünïcode €100 🇺🇦👍🏽\n").arg(i);
    return s;
}
} // namespace

class TestClipboardReader : public QObject {
    Q_OBJECT
private slots:
    // Read whole, in increments, exactly as offered; an owner that quits mid-transfer, and no owner
    // at all, give no text (never the part read), and the read ends.
    void anotherProgramsTextIsReadWhole() {
        OwnServer server;
        if (server.display().isEmpty()) QSKIP("no X server of the test's own: Xvfb is missing or did not start");
        using Kind = ClipboardReader::Read::Kind;
        const QString text = longText();
        {
            Owner owner(server.display(), text.toUtf8());
            QVERIFY(owner.owns());
            const ClipboardReader::Read r = ClipboardReader::readNow(server.display());
            QCOMPARE(int(r.kind), int(Kind::text));
            QVERIFY(r.text == text);
            QVERIFY(owner.partsSent() > 10);
        }
        {
            Owner owner(server.display(), QByteArrayLiteral("short é🙂"));
            QVERIFY(owner.owns());
            const ClipboardReader::Read r = ClipboardReader::readNow(server.display());
            QCOMPARE(int(r.kind), int(Kind::text));
            QCOMPARE(r.text, QStringLiteral("short é🙂"));
        }
        {
            Owner owner(server.display(), text.toUtf8(), 3);
            QVERIFY(owner.owns());
            const ClipboardReader::Read r = ClipboardReader::readNow(server.display());
            QCOMPARE(int(r.kind), int(Kind::nothing));
            QVERIFY(r.text.isEmpty());
            QCOMPARE(owner.partsSent(), 3);
        }
        const ClipboardReader::Read none = ClipboardReader::readNow(server.display());
        QCOMPARE(int(none.kind), int(Kind::nothing));
    }
};

QTEST_GUILESS_MAIN(TestClipboardReader)
#include "tst_clipboard_reader.moc"
