#pragma once
// A stand-in for the optimisation service on the app's compiled-in port, for the built app's
// tests on every desktop.

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

namespace quillberry::testing {

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
