#pragma once
#include <QByteArray>
#include <QHash>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Other programs' requests for a selection this program owns, answered as X allows: at once, or
// once their bytes are made (a SelectionNotify may come later), never waited for on this thread.
// Bytes past kChunk go in increments (INCR), one part in a turn of the event loop, each when the
// other program has taken the one before. What goes to the X server goes through Transport, so the
// rules are tried without one.
//  - Asks of one form of one selection while it is being made share the making.
//  - An ask not answered when its selection changes (another copy, or another program took it) is
//    refused then: bytes made after never answer it, the new selection's least of all. A transfer
//    under way goes on with the bytes it has.
//  - A transfer the other program stops taking, or whose window goes, is dropped; an ask whose bytes
//    are not made in time is refused.
class SelectionAnswers {
public:
    static constexpr qsizetype kChunk = 1024 * 1024;
    // A transfer the other program stops taking is dropped after this long.
    static constexpr int kGiveUpMs = 5000;
    // An ask whose bytes are not made by then is refused (other programs wait about as long).
    static constexpr int kMakeGiveUpMs = 30000;

    struct Request {
        quint32 requestor = 0, selection = 0, target = 0, property = 0, time = 0;
    };
    class Transport {
    public:
        virtual ~Transport() = default;
        // Tells the requestor its answer is in r.property (or refused: property none).
        virtual void notify(const Request &r, bool answered) = 0;
        // Sets the window's property to bytes of type (8-bit items).
        virtual void put(quint32 window, quint32 property, quint32 type, QByteArrayView bytes) = 0;
        // Sets it to INCR: size bytes follow in parts.
        virtual void putIncr(quint32 window, quint32 property, quint32 size) = 0;
        // Be told, or no longer, of the window's property changes and its end.
        virtual void watch(quint32 window, bool on) = 0;
        // Runs fn on this thread after ms (0: the next turn of the event loop).
        virtual void after(int ms, std::function<void()> fn) = 0;
    };
    // Starts making an ask's bytes; they are handed to the function given, once, later, on this
    // thread (nothing: the form is not offered any more).
    using Make = std::function<void(std::function<void(std::optional<QByteArray>)>)>;

    explicit SelectionAnswers(Transport &t);
    ~SelectionAnswers();
    SelectionAnswers(const SelectionAnswers &) = delete;
    SelectionAnswers &operator=(const SelectionAnswers &) = delete;

    // An ask whose bytes are to be made: make is called unless the same form is being made already.
    void ask(const Request &r, const Make &make);
    // An ask whose bytes are at hand.
    void answer(const Request &r, QByteArray bytes);
    // The selection now holds other data (or none of this program's).
    void selectionChanged(quint32 selection);
    // The window's property changed (deleted: taken by the other program); whether it is one of ours.
    bool propertyChanged(quint32 window, quint32 property, bool deleted);
    // The window is gone: nothing more goes to it.
    bool windowGone(quint32 window);

    // Asks waiting for their bytes, and transfers under way.
    int waiting() const;
    int transfers() const { return int(transfers_.size()); }

private:
    struct Making {
        int id = 0;
        quint32 selection = 0, target = 0;
        std::vector<Request> asks;
    };
    struct Transfer {
        QByteArray bytes;
        quint32 type = 0;
        qsizetype at = 0;
        int stamp = 0; // which give-up still counts
        bool wanted = false; // the last part was taken: the next is due
    };
    using Key = std::pair<quint32, quint32>; // window, property
    void made(int id, std::optional<QByteArray> bytes);
    void refuseMaking(std::vector<Making>::iterator it);
    void send(const Request &r, QByteArray bytes);
    void sendParts();
    void watchSilence(const Key &k);
    void end(const Key &k, bool unwatch);

    Transport &t_;
    std::vector<Making> makings_;
    std::map<Key, Transfer> transfers_;
    std::vector<Key> due_; // transfers whose next part is to be sent, in order
    bool sending_ = false; // a turn to send a part is asked for
    int ids_ = 0, stamps_ = 0;
    std::shared_ptr<SelectionAnswers *> self_; // what later calls find, null once this is gone
};
