#pragma once
// The running instance's end of `quillberry --trigger`: a local socket served from the event
// loop, which no peer can take down or hold up.

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

namespace quillberry::qt {

class TriggerServer : public QObject {
public:
    // Listens at `path` (a socket left there by a killed instance is replaced) and calls
    // `pressed` for each peer that sends "trigger\n" and is still there for the "ok\n".
    TriggerServer(std::string path, std::function<void()> pressed);
    ~TriggerServer() override;

private:
    struct Peer;
    void listen();
    void acceptPeers();
    void readFrom(int fd);
    void drop(int fd);

    std::string path_;
    std::function<void()> pressed_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> listening_;
    std::unique_ptr<QTimer> retry_;
    std::map<int, std::unique_ptr<Peer>> peers_;
};

}  // namespace quillberry::qt
