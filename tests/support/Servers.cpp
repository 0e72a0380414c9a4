#include "Servers.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "Processes.h"

namespace quillberry::testing {

ServiceStub::ServiceStub() { EXPECT_EVENTUALLY(server.listen(QHostAddress::LocalHost, QUILLBERRY_SERVICE_PORT)); }

std::unique_ptr<QTcpSocket> ServiceStub::nextRequest() {
    if (!waitFor([&] { return server.hasPendingConnections(); })) return nullptr;
    std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
    QByteArray received;
    auto whole = [&] {
        received += socket->readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0) return false;
        head = received.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.toLower().split('\n')) {
            if (line.startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
        }
        body = received.mid(end + 4);
        return body.size() >= length;
    };
    return waitFor(whole) ? std::move(socket) : nullptr;
}

void ServiceStub::serveNext(const QString& text, const QByteArray& improved, const std::string& email) {
    auto socket = nextRequest();
    ASSERT_TRUE(socket) << "no request reached the service";
    EXPECT_TRUE(head.startsWith("POST /improve HTTP/1.1\r\n")) << head.toStdString();
    EXPECT_TRUE(head.toLower().contains("\r\ncontent-type: application/json\r\n")) << head.toStdString();
    const QJsonObject expected{{"prompt", text}, {"email", QString::fromStdString(email)}};
    EXPECT_EQ(QJsonDocument::fromJson(body).object(), expected) << body.toStdString();
    const QByteArray reply = R"({"improved_prompt":")" + improved + R"("})";
    // One request a connection, so that each reaches nextRequest.
    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + QByteArray::number(reply.size()) +
                  "\r\n\r\n" + reply);
    waitFor([&] { return socket->bytesToWrite() == 0; });
}

}  // namespace quillberry::testing
