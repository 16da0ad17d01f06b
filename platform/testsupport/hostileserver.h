#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// A web server on 127.0.0.1 for pages that misbehave over HTTP. It answers by path:
//   /stalled     a page whose picture is /never
//   /never       nothing, ever (the connection stays open)
//   /redirect    302 to /redirected
//   /redirected  a page
//   /trickling   a long page that comes a paragraph every quarter of a second for 14 seconds
// and counts the requests for each path.
class HostileServer final : public QTcpServer {
public:
    HostileServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }

    QString url(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path));
    }
    int requests(const QByteArray &path) const { return m_requests.value(path); }

private:
    void answer(QTcpSocket *socket)
    {
        const QByteArray request = socket->readAll();
        if (!request.startsWith("GET "))
            return;
        const QByteArray path = request.split(' ').value(1);
        ++m_requests[path];
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", body;
        if (path == "/never") {
            return;
        } else if (path == "/trickling") {
            trickle(socket);
            return;
        } else if (path == "/stalled") {
            body = "<!DOCTYPE html><html><body><h1>Heading Stalled</h1><p>A picture that never "
                   "comes: <img src=\"/never\" alt=\"AltNeverLoaded\" width=\"40\" "
                   "height=\"40\"></p></body></html>";
        } else if (path == "/redirect") {
            head = "HTTP/1.1 302 Found\r\nLocation: /redirected\r\n";
        } else if (path == "/redirected") {
            body = "<!DOCTYPE html><html><body><h1>Heading Redirected</h1><p>Where the server "
                   "sends the browser.</p></body></html>";
        } else {
            head = "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n";
        }
        socket->write(head + "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    // The page without a length, its end marked by the closed connection.
    static void trickle(QTcpSocket *socket)
    {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                      "Connection: close\r\n\r\n<!DOCTYPE html><html><head><meta "
                      "charset=\"utf-8\"><title>Trickling</title></head><body>"
                      "<h1>Heading Trickling</h1>");
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent] {
            if (++*sent < 56) {
                socket->write("<p>Trickle " + QByteArray::number(*sent) + "</p>\n");
                return;
            }
            timer->stop();
            socket->write("<p>Trickle end</p></body></html>");
            socket->disconnectFromHost();
        });
        timer->start(250);
    }

    QHash<QByteArray, int> m_requests;
};
