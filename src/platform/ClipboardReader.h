#pragma once
#include <QObject>
#include <QString>
#include <functional>

// Another program's clipboard read off the window's thread. Qt reads it on the window's thread, in
// one stretch however long the text (5 MB of plain text held the window 35-75 ms, mostly in taking
// in and decoding the transfer); on X11 its text is read here on a worker, over a connection of the
// worker's own, and handed back whole. Rich text (HTML, RTF) is left to Qt: it is read as the
// clipboard's own data, where it is measured before it is taken in.
class ClipboardReader {
public:
    struct Read {
        enum class Kind {
            nothing, // no text to paste (none offered, or the owner did not answer in time)
            text,    // text holds the clipboard's plain text
            asQt,    // the clipboard offers more than plain text, or could not be read here: read it as Qt does
        };
        Kind kind = Kind::nothing;
        QString text;
    };
    virtual ~ClipboardReader() = default;
    // Whether a paste reads the clipboard through readLater: another program holds it, on a display
    // whose clipboard a worker can read.
    virtual bool readsApart() const;
    // Reads the clipboard on a worker; done gets what it holds on receiver's thread (nothing when
    // receiver is gone by then).
    virtual void readLater(QObject *receiver, std::function<void(Read)> done);

    // What readLater does on a worker: display's clipboard read here, over a connection of its own
    // (display empty: the one DISPLAY names). Waits for the owner's answers.
    static Read readNow(const QByteArray &display);

    static ClipboardReader &get();
    static void install(ClipboardReader *r); // takes no ownership; nullptr: the real one
};
