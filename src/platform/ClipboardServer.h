#pragma once
#include "platform/SelectionAnswers.h"
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <memory>

struct xcb_connection_t;
class QMimeData;

// This program's clipboard handed to another program on X11 without holding the window's thread.
// Qt answers a request on the window's thread, with the whole data made there and written to the
// server in one stretch (20-30 ms for a long text). Here:
//  - data whose forms are made at length (MadeOnAsk: a long copy from a note) is answered once its
//    bytes are made, without waiting for them: its text as UTF-8 (UTF8_STRING, "text/plain" or
//    "text/plain;charset=utf-8"), as Latin-1 for old programs (STRING, TEXT) and its RTF
//    ("text/rtf");
//  - any other text longer than kChunk is handed over in parts of kChunk bytes, each when the other
//    program has taken the last, in a turn of its own (see SelectionAnswers).
// The bytes are the ones Qt would hand over. Shorter texts and every other form are left to Qt.
// A drag's data is asked for the same way by the program it is dropped on (maybe after the drag
// has ended here): the data given to dragging is answered as the clipboard's is, while it lives and
// until a mouse button is pressed in this program again (which may start another drag, of a field's
// text say, that Qt answers itself).
class ClipboardServer : public QObject, public QAbstractNativeEventFilter {
public:
    static constexpr qsizetype kChunk = SelectionAnswers::kChunk;

    // On X11 only; once. The application must exist.
    static void install();
    // The data of the drag being started (it replaces any before); nothing where there is no server.
    static void dragging(const QMimeData *data);

    explicit ClipboardServer(xcb_connection_t *c);
    ~ClipboardServer() override;
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class X;
    bool serve(const void *request);
    quint32 atom(const char *name) const;

    xcb_connection_t *c_;
    QPointer<const QMimeData> dragged_;
    quint32 xdnd_ = 0, xdndFinished_ = 0, clipboard_ = 0, utf8_ = 0, plainUtf8_ = 0, plain_ = 0, text_ = 0, rtf_ = 0;
    std::unique_ptr<X> x_;
    std::unique_ptr<SelectionAnswers> answers_;
};
