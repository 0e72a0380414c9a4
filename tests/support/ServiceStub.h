#pragma once
// Plays the optimisation service on the app's compiled-in port, answering each request as
// a test scripts it.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "Processes.h"

namespace quillberry::testing {

struct ServiceStub {
    QTcpServer stub;
    void listenAsService() {
        ASSERT_TRUE(waitFor([&] { return stub.listen(QHostAddress::LocalHost, QUILLBERRY_SERVICE_PORT); }));
    }
    // The app's next request, read whole (its JSON body ends in "}") into `lastRequest`; null
    // when none came.
    std::unique_ptr<QTcpSocket> nextRequest() {
        if (!waitFor([&] { return stub.hasPendingConnections(); })) return nullptr;
        std::unique_ptr<QTcpSocket> socket(stub.nextPendingConnection());
        lastRequest.clear();
        waitFor([&] { return (lastRequest += socket->readAll()).endsWith('}'); });
        return socket;
    }
    QByteArray lastRequest;
    // Answers the app's next request, which must carry `text`, with `improved`.
    void serveNext(const QByteArray& text, const QByteArray& improved) {
        auto socket = nextRequest();
        ASSERT_TRUE(socket) << "no request reached the service";
        EXPECT_TRUE(lastRequest.contains(text)) << lastRequest.toStdString();
        const QByteArray body = R"({"improved_prompt":")" + improved + R"("})";
        // One request a connection, so that each reaches nextRequest.
        socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\n\r\n" + body);
        waitFor([&] { return socket->bytesToWrite() == 0; });
    }
};

}  // namespace quillberry::testing
