#pragma once
#include "platform/SelectionAnswers.h"
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>
#include <memory>

struct xcb_connection_t;

// This program's clipboard handed to another program on X11 without holding the window's thread.
// Qt answers a request on the window's thread, with the whole data made there and written to the
// server in one stretch (20-30 ms for a long text). Here:
//  - data whose forms are made at length (MadeOnAsk: a long copy from a note) is answered once its
//    bytes are made, without waiting for them: its text as UTF-8 (UTF8_STRING or
//    "text/plain;charset=utf-8") and its RTF ("text/rtf");
//  - any other text longer than kChunk is handed over in parts of kChunk bytes, each when the other
//    program has taken the last, in a turn of its own (see SelectionAnswers).
// The bytes are the ones Qt would hand over. Shorter texts and every other form are left to Qt.
class ClipboardServer : public QObject, public QAbstractNativeEventFilter {
public:
    static constexpr qsizetype kChunk = SelectionAnswers::kChunk;

    // On X11 only; once. The application must exist.
    static void install();

    explicit ClipboardServer(xcb_connection_t *c);
    ~ClipboardServer() override;
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    class X;
    bool serve(const void *request);
    quint32 atom(const char *name) const;

    xcb_connection_t *c_;
    quint32 clipboard_ = 0, utf8_ = 0, plainUtf8_ = 0, rtf_ = 0;
    std::unique_ptr<X> x_;
    std::unique_ptr<SelectionAnswers> answers_;
};
