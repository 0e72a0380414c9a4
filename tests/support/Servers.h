#pragma once
// Loopback peers for the tests: a raw socket server that sends what a test scripts (replies no
// real server would send), a raw client that sends what no real client would, and a stand-in
// for the optimisation service on the app's compiled-in port.

#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace quillberry::testing {

// Accepts connections on a free port, reads the request, and hands each socket to `serve`.
class RawServer {
public:
    using Serve = std::function<void(int fd, const std::atomic<bool>& stopping)>;
    explicit RawServer(Serve serve);
    ~RawServer();
    static void send(int fd, const std::string& data);
    // Sleeps in small steps so a stopping server does not hold the test up.
    static void pause(const std::atomic<bool>& stopping, int ms);
    std::string url;

private:
    Serve serve_;
    int listen_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// A connection to a loopback port that has sent `bytes` and stays open; its descriptor.
int rawConnection(int port, const std::string& bytes);
// Sends raw bytes to a loopback port; all that came back before the peer closed, or 3 s of silence.
std::string rawExchange(int port, const std::string& bytes);

// Plays the optimisation service on the app's compiled-in port, answering each request as a
// case scripts it.
struct ServiceStub {
    ServiceStub();
    // The app's next request, read whole; null when none came.
    std::unique_ptr<QTcpSocket> nextRequest();
    QByteArray head, body;  // of the last request
    // Answers the next request, which must be exactly the improve call for `text` and `email`.
    void serveNext(const QString& text, const QByteArray& improved, const std::string& email = "me@example.com");
    QTcpServer server;
};

}  // namespace quillberry::testing
