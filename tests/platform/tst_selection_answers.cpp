// Other programs' asks for a selection this program owns, answered through a transport that notes
// what would go to the X server; its timers are run by the test, a turn or a delay at a time.
#include "platform/SelectionAnswers.h"
#include <QtTest>
#include <optional>

namespace {
using Request = SelectionAnswers::Request;
constexpr quint32 kClipboard = 100, kPrimary = 1, kUtf8 = 200, kRtf = 201;

struct Sent {
    enum Kind { notified, refused, put, incr, watch, unwatch } kind;
    quint32 window = 0, property = 0;
    QByteArray bytes;
    bool operator==(const Sent &) const = default;
};

class FakeX : public SelectionAnswers::Transport {
public:
    std::vector<Sent> sent;
    std::vector<std::pair<int, std::function<void()>>> timers;

    void notify(const Request &r, bool answered) override {
        sent.push_back({answered ? Sent::notified : Sent::refused, r.requestor, r.property, {}});
    }
    void put(quint32 window, quint32 property, quint32, QByteArrayView bytes) override {
        sent.push_back({Sent::put, window, property, bytes.toByteArray()});
    }
    void putIncr(quint32 window, quint32 property, quint32 size) override {
        sent.push_back({Sent::incr, window, property, QByteArray::number(size)});
    }
    void watch(quint32 window, bool on) override { sent.push_back({on ? Sent::watch : Sent::unwatch, window, 0, {}}); }
    void after(int ms, std::function<void()> fn) override { timers.emplace_back(ms, std::move(fn)); }

    // One turn of the event loop: what was due at its start runs; what it asks for runs next turn.
    void turn() { fire(0); }
    void fire(int ms) {
        std::vector<std::function<void()>> due;
        for (auto it = timers.begin(); it != timers.end();) {
            if (it->first == ms) {
                due.push_back(std::move(it->second));
                it = timers.erase(it);
            } else {
                ++it;
            }
        }
        for (auto &fn : due)
            fn();
    }
    std::vector<Sent> take() { return std::exchange(sent, {}); }
};

Request request(quint32 window, quint32 selection = kClipboard, quint32 target = kUtf8, quint32 property = 7) {
    return {window, selection, target, property, 0};
}

// A making the test finishes when it likes.
struct Maker {
    int calls = 0;
    std::function<void(std::optional<QByteArray>)> done;
    SelectionAnswers::Make make() {
        return [this](std::function<void(std::optional<QByteArray>)> d) {
            ++calls;
            done = std::move(d);
        };
    }
};

QByteArray bytes(qsizetype n, char c = 'x') {
    return QByteArray(n, c);
}
} // namespace

class TestSelectionAnswers : public QObject {
    Q_OBJECT
private slots:
    // Nothing is sent until the bytes are made; asks of one form of one selection share one making,
    // and each is answered with its bytes once; another form or selection is made on its own.
    void anAskIsAnsweredOnceItsBytesAreMade() {
        FakeX x;
        SelectionAnswers a(x);
        Maker text, rtf, primary;
        a.ask(request(10), text.make());
        a.ask(request(11, kClipboard, kUtf8, 8), text.make());
        a.ask(request(12, kClipboard, kRtf), rtf.make());
        a.ask(request(13, kPrimary), primary.make());
        QCOMPARE(text.calls, 1);
        QCOMPARE(rtf.calls, 1);
        QCOMPARE(primary.calls, 1);
        QVERIFY(x.sent.empty());
        QCOMPARE(a.waiting(), 4);

        text.done(QByteArray("made"));
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 10, 7, "made"},
                                              {Sent::notified, 10, 7, {}},
                                              {Sent::put, 11, 8, "made"},
                                              {Sent::notified, 11, 8, {}}}));
        text.done(QByteArray("again")); // handed twice: nothing more goes
        QVERIFY(x.sent.empty());
        rtf.done(std::nullopt); // not offered any more
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::refused, 12, 7, {}}}));
        QCOMPARE(a.waiting(), 1);

        // Not made in time: refused, and the bytes made after go nowhere.
        x.fire(SelectionAnswers::kMakeGiveUpMs);
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::refused, 13, 7, {}}}));
        primary.done(QByteArray("late"));
        QVERIFY(x.sent.empty());
        QCOMPARE(a.waiting(), 0);
    }

    // An ask not answered when its selection changes is refused then: the old data's bytes made
    // after answer no one, and the new data is made for the asks that come after. A transfer under
    // way goes on with the bytes it has; the other selection's ask is not touched.
    void aChangedSelectionNeverAnswersAnOldAsk() {
        FakeX x;
        SelectionAnswers a(x);
        Maker old, other;
        a.ask(request(10), old.make());
        a.ask(request(20, kPrimary), other.make());
        a.selectionChanged(kClipboard);
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::refused, 10, 7, {}}}));
        Maker fresh;
        a.ask(request(11), fresh.make());
        QCOMPARE(fresh.calls, 1); // not joined to the old making
        old.done(QByteArray("old"));
        QVERIFY(x.sent.empty());
        fresh.done(QByteArray("new"));
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 11, 7, "new"}, {Sent::notified, 11, 7, {}}}));

        // Under way when it changes: the rest of the old bytes.
        const QByteArray long1 = bytes(SelectionAnswers::kChunk + 10, 'o');
        Maker first;
        a.ask(request(12), first.make());
        first.done(long1);
        x.take();
        a.selectionChanged(kClipboard);
        QVERIFY(x.sent.empty());
        QVERIFY(a.propertyChanged(12, 7, true));
        x.turn();
        QVERIFY(a.propertyChanged(12, 7, true));
        x.turn();
        QVERIFY(a.propertyChanged(12, 7, true));
        x.turn();
        const std::vector<Sent> parts = x.take();
        QCOMPARE(parts.size(), size_t(4)); // two parts, the empty end, and the window let go of
        QCOMPARE(parts[0].bytes + parts[1].bytes, long1);
        QCOMPARE(parts[2], (Sent{Sent::put, 12, 7, {}}));
        QCOMPARE(parts[3], (Sent{Sent::unwatch, 12, 0, {}}));

        other.done(QByteArray("primary's"));
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 20, 7, "primary's"}, {Sent::notified, 20, 7, {}}}));
    }

    // Bytes past a part go in increments: the size first, then one part in a turn of the event loop
    // when the last was taken (deleted), whichever transfer it is of, and an empty part at the end.
    // A transfer whose window goes, or that is not taken for too long, is dropped.
    void longBytesGoAPartATurnAsTheyAreTaken() {
        FakeX x;
        SelectionAnswers a(x);
        const qsizetype chunk = SelectionAnswers::kChunk;
        const QByteArray one = bytes(2 * chunk + 5, 'a'), two = bytes(chunk + 1, 'b');
        a.answer(request(10), one);
        a.answer(request(20), two);
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::watch, 10, 0, {}},
                                              {Sent::incr, 10, 7, QByteArray::number(one.size())},
                                              {Sent::notified, 10, 7, {}},
                                              {Sent::watch, 20, 0, {}},
                                              {Sent::incr, 20, 7, QByteArray::number(two.size())},
                                              {Sent::notified, 20, 7, {}}}));
        QVERIFY(!a.propertyChanged(10, 99, true)); // not a property of ours
        QVERIFY(a.propertyChanged(10, 7, false));  // our own part landing
        QVERIFY(x.sent.empty());
        // Both taken (each told twice), in one batch of events: a part per turn.
        for (int i = 0; i < 2; ++i) {
            QVERIFY(a.propertyChanged(10, 7, true));
            QVERIFY(a.propertyChanged(20, 7, true));
        }
        QVERIFY(x.sent.empty());
        x.turn();
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 10, 7, one.first(chunk)}}));
        x.turn();
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 20, 7, two.first(chunk)}}));
        x.turn();
        QVERIFY(x.sent.empty()); // each waits for its part to be taken
        QVERIFY(a.propertyChanged(10, 7, true));
        x.turn();
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 10, 7, one.sliced(chunk, chunk)}}));

        // The window of the second goes: nothing more is sent to it, nor is it let go of.
        QVERIFY(a.windowGone(20));
        QVERIFY(!a.propertyChanged(20, 7, true));
        x.turn();
        QVERIFY(x.sent.empty());
        QCOMPARE(a.transfers(), 1);

        // The first stops taking: dropped after a while, its window no longer touched.
        x.fire(SelectionAnswers::kGiveUpMs);
        QCOMPARE(a.transfers(), 0);
        QVERIFY(x.sent.empty());
        QVERIFY(!a.propertyChanged(10, 7, true));

        // Short bytes go at once, whole.
        a.answer(request(30), bytes(chunk, 'c'));
        QCOMPARE(x.take(), (std::vector<Sent>{{Sent::put, 30, 7, bytes(chunk, 'c')}, {Sent::notified, 30, 7, {}}}));
    }
};

QTEST_GUILESS_MAIN(TestSelectionAnswers)
#include "tst_selection_answers.moc"
