#include "exercises/SocketLines.h"

#include <QLocalSocket>

namespace {
// Read in pieces: the socket's own buffer and ours stay small however much is waiting.
constexpr qsizetype kReadChunk = 64 * 1024;
} // namespace

bool LineFramer::feed(QByteArrayView chunk, const std::function<bool(const QByteArray &)> &onLine) {
    if (overflowed_) return false;
    while (!chunk.isEmpty()) {
        const qsizetype nl = chunk.indexOf('\n');
        const qsizetype take = nl < 0 ? chunk.size() : nl;
        if (partial_.size() + take > maxLine_) {
            overflowed_ = true;
            partial_ = QByteArray(); // frees it
            return false;
        }
        if (nl < 0) {
            partial_.append(chunk);
            return true;
        }
        QByteArray line = std::exchange(partial_, QByteArray());
        line.append(chunk.first(nl));
        chunk = chunk.sliced(nl + 1);
        if (!onLine(line)) return true;
    }
    return true;
}

SocketLines::SocketLines(QLocalSocket *socket, QObject *parent, qsizetype maxLine)
    : QObject(parent), socket_(socket), framer_(maxLine) {
    socket->setParent(this);
    socket->setReadBufferSize(kReadChunk);
    connect(socket, &QLocalSocket::readyRead, this, &SocketLines::readAvailable);
    connect(socket, &QLocalSocket::disconnected, this, &SocketLines::close);
    connect(socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError e) {
        // A peer that closes its end is "disconnected" as well; anything else ends the link too.
        if (e != QLocalSocket::SocketTimeoutError) close();
    });
    if (socket->state() != QLocalSocket::ConnectedState)
        QMetaObject::invokeMethod(this, &SocketLines::close, Qt::QueuedConnection);
    else if (socket->bytesAvailable() > 0) // lines that arrived before we were listening
        QMetaObject::invokeMethod(this, &SocketLines::readAvailable, Qt::QueuedConnection);
}

SocketLines::~SocketLines() {
    if (socket_) socket_->disconnect(this);
}

bool SocketLines::send(const QByteArray &text) {
    if (closed_ || !socket_ || text.contains('\n')) return false;
    socket_->write(text + '\n');
    return true;
}

void SocketLines::flush() {
    if (socket_ && !closed_) socket_->flush();
}

void SocketLines::readAvailable() {
    QPointer<SocketLines> self(this);
    char buf[kReadChunk];
    while (self && !closed_ && socket_ && socket_->bytesAvailable() > 0) {
        const qint64 n = socket_->read(buf, sizeof buf);
        if (n <= 0) break;
        const bool ok = framer_.feed(QByteArrayView(buf, n), [&self](const QByteArray &line) {
            emit self->lineReceived(line);
            return !self.isNull() && !self->closed_;
        });
        if (!self) return;
        if (!ok) {
            qWarning("browser window link: an over-long message, connection dropped");
            close();
        }
    }
}

void SocketLines::close() {
    if (closed_) return;
    closed_ = true;
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
    emit closed();
}
