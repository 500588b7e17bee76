#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <functional>

class QLocalSocket;

// Splits a byte stream into lines (the '\n' dropped). A line may be at most maxLine bytes: a stream
// that goes on longer without a newline is refused as soon as it passes that, so what is held never
// grows beyond maxLine whatever the peer sends.
class LineFramer {
public:
    explicit LineFramer(qsizetype maxLine) : maxLine_(maxLine) {}
    // Hands every complete line in chunk to onLine. False once the stream broke the bound (nothing
    // more is accepted then). onLine may return false to stop at once (its receiver is gone).
    bool feed(QByteArrayView chunk, const std::function<bool(const QByteArray &)> &onLine);
    qsizetype held() const { return partial_.size(); }
    bool overflowed() const { return overflowed_; }

private:
    qsizetype maxLine_;
    QByteArray partial_;
    bool overflowed_ = false;
};

// One message per line over a local socket, written once for both ends of the app's link with its
// browser window process. A peer that sends a line over kMaxLine is dropped (the connection is
// aborted), and so is one that is gone: either way closed() is emitted, once.
class SocketLines : public QObject {
    Q_OBJECT
public:
    // Room for an "open" message with any address a browser takes (they stop near 2 MB), far below
    // what would hurt.
    static constexpr qsizetype kMaxLine = 4 * 1024 * 1024;

    // Takes the socket over (it becomes this object's child).
    explicit SocketLines(QLocalSocket *socket, QObject *parent = nullptr, qsizetype maxLine = kMaxLine);
    ~SocketLines() override;

    // Writes text and a newline; text holding a newline would be two messages and is not sent.
    bool send(const QByteArray &text);
    void flush();
    bool isOpen() const { return !closed_; }
    qsizetype held() const { return framer_.held(); } // bytes of an unfinished line, for tests

signals:
    void lineReceived(const QByteArray &line);
    void closed();

private:
    void readAvailable();
    void close();

    QPointer<QLocalSocket> socket_;
    LineFramer framer_;
    bool closed_ = false;
};
