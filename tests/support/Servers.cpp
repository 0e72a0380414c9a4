#include "Servers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>

#include "Processes.h"

namespace quillberry::testing {

namespace {
sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    return addr;
}
}  // namespace

RawServer::RawServer(Serve serve) : serve_(std::move(serve)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), len);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    ::listen(listen_, 8);
    thread_ = std::thread([this] {
        for (int fd; (fd = ::accept(listen_, nullptr, nullptr)) >= 0 && !stopping_; ::close(fd)) {
            char request[65536];
            ::recv(fd, request, sizeof request, 0);
            serve_(fd, stopping_);
        }
    });
}

RawServer::~RawServer() {
    stopping_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    thread_.join();
}

void RawServer::send(int fd, const std::string& data) { ::send(fd, data.data(), data.size(), MSG_NOSIGNAL); }

void RawServer::pause(const std::atomic<bool>& stopping, int ms) {
    for (int waited = 0; waited < ms && !stopping; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int rawConnection(int port, const std::string& bytes) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback(port);
    timeval limit{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    return fd;
}

std::string rawExchange(int port, const std::string& bytes) {
    const int fd = rawConnection(port, bytes);
    std::string answer;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, size_t(n));
    ::close(fd);
    return answer;
}

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
