#pragma once
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QHash>
#include <QObject>

struct xcb_connection_t;

// This program's clipboard text handed to another program on X11, a part per turn of the event loop.
// Qt hands a long text over in parts as large as the X server takes in one request (16 MB on a
// usual server), each written to the server in one stretch of the window's thread (20-30 ms);
// here a text longer than kChunk is handed over in parts of kChunk bytes, each when the other
// program has taken the last. The bytes are the ones Qt would hand over: the clipboard's
// "text/plain" as UTF-8, asked for as UTF8_STRING or "text/plain;charset=utf-8". Shorter texts and
// every other form are left to Qt.
class ClipboardServer : public QObject, public QAbstractNativeEventFilter {
public:
    static constexpr qsizetype kChunk = 1024 * 1024;
    // A transfer the other program stops taking is dropped after this long.
    static constexpr int kGiveUpMs = 5000;

    // On X11 only; once. The application must exist.
    static void install();

    explicit ClipboardServer(xcb_connection_t *c);
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    struct Transfer {
        quint32 property = 0, target = 0;
        QByteArray bytes;
        qsizetype at = 0;
        int stamp = 0; // which give-up timer still counts
    };
    bool serve(const void *request);
    bool goOn(const void *notify);
    void watchSilence(quint32 window);
    // unwatch: stop being told of the window's property changes.
    void end(quint32 window, bool unwatch = true);
    quint32 atom(const char *name) const;

    xcb_connection_t *c_;
    quint32 clipboard_ = 0, utf8_ = 0, plainUtf8_ = 0, incr_ = 0;
    QHash<quint32, Transfer> transfers_; // by the other program's window
    int stamps_ = 0;
};
