#pragma once
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// An HTTP server on localhost that answers every request with the given status and body, closing
// each connection, and keeps the requests it saw.
class TinyServer : public QTcpServer {
public:
    TinyServer(int status, QByteArray body) : status_(status), body_(std::move(body)) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] {
                request += s->readAll();
                if (!request.contains("\r\n\r\n")) return;
                QByteArray answer = "HTTP/1.1 " + QByteArray::number(status_) +
                                    " X\r\nContent-Type: text/html\r\n"
                                    "Content-Length: " +
                                    QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" +
                                    body_;
                s->write(answer);
                s->disconnectFromHost();
            });
        });
    }
    QUrl root() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(serverPort())); }
    QByteArray request;

private:
    int status_;
    QByteArray body_;
};
