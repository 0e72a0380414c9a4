#include "platform/qt/TriggerServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>

#include "platform/qt/TriggerLine.h"

namespace quillberry::qt {

namespace {
// A client sends its one line at once: a few peers at a time, a few bytes each, a second of
// silence at most. More peers wait in the backlog, where `quillberry --trigger` bounds its wait.
constexpr std::size_t MAX_PEERS = 8;
constexpr int SILENCE_MS = 1000;
// Out of descriptors (or memory), the connection waits in the backlog: accepting is tried
// again after this, rather than in a busy loop or never.
constexpr int RETRY_MS = 100;

// A notifier or timer may be the very one whose signal is running: it goes once that is over.
void retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (notifier) notifier->setEnabled(false), notifier.release()->deleteLater();
}
void retire(std::unique_ptr<QTimer>& timer) {
    if (timer) timer->stop(), timer.release()->deleteLater();
}
}  // namespace

struct TriggerServer::Peer {
    TriggerLine line;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QTimer> silence;
};

TriggerServer::TriggerServer(std::string path, std::function<void()> pressed)
    : path_(std::move(path)), pressed_(std::move(pressed)), retry_(std::make_unique<QTimer>()) {
    retry_->setSingleShot(true);
    retry_->setInterval(RETRY_MS);
    QObject::connect(retry_.get(), &QTimer::timeout, this, [this] { acceptPeers(); });
    listen();
}

TriggerServer::~TriggerServer() {
    for (auto& [fd, peer] : peers_) ::close(fd);
    peers_.clear();
    listening_.reset();
    if (fd_ >= 0) ::close(fd_), ::unlink(path_.c_str());
}

// Only the instance that holds the lock gets here, so a socket already there is stale. The
// socket sits in the lock's private folder and is the user's alone.
void TriggerServer::listen() {
    retire(listening_);
    if (fd_ >= 0) ::close(fd_);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    fd_ = path_.empty() || path_.size() >= sizeof addr.sun_path
              ? -1
              : ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    path_.copy(addr.sun_path, path_.size());
    ::unlink(path_.c_str());
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::chmod(path_.c_str(), 0600) != 0 ||
        ::listen(fd_, int(MAX_PEERS)) != 0) {
        ::close(fd_), fd_ = -1;
        return;
    }
    listening_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(listening_.get(), &QSocketNotifier::activated, this, [this] { acceptPeers(); });
}

void TriggerServer::acceptPeers() {
    if (!listening_) return listen();
    listening_->setEnabled(false);  // again once there is room for a peer and a descriptor for it
    while (peers_.size() < MAX_PEERS) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && (errno == EINTR || errno == ECONNABORTED)) continue;
        if (fd < 0 && errno == EAGAIN) break;
        if (fd < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
            return listening_->setEnabled(false), retry_->start();
        if (fd < 0) return listen();  // the socket itself failed: listening starts afresh
        auto& peer = peers_[fd] = std::make_unique<Peer>();
        peer->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(peer->readable.get(), &QSocketNotifier::activated, this, [this, fd] { readFrom(fd); });
        peer->silence = std::make_unique<QTimer>();
        peer->silence->setSingleShot(true);
        QObject::connect(peer->silence.get(), &QTimer::timeout, this, [this, fd] { drop(fd); });
        peer->silence->start(SILENCE_MS);
        readFrom(fd);  // a client sends its line with its connection: often there already
    }
    if (peers_.size() < MAX_PEERS) listening_->setEnabled(true);
}

void TriggerServer::readFrom(int fd) {
    auto found = peers_.find(fd);
    if (found == peers_.end()) return;
    Peer& peer = *found->second;
    char buffer[TriggerLine::LONGEST];
    const ssize_t n = ::read(fd, buffer, peer.line.room());
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    const auto verdict = peer.line.take(std::string_view(buffer, std::size_t(std::max<ssize_t>(n, 0))));
    if (verdict == TriggerLine::Verdict::More) return;
    // A whole line, too long a one, or the end: answered and closed. The press counts only once
    // the answer has reached a peer still waiting for it, so a client that gave up is not
    // pressed for later.
    const bool press = verdict == TriggerLine::Verdict::Press && ::send(fd, "ok\n", 3, MSG_NOSIGNAL) == 3;
    drop(fd);
    if (press) pressed_();
}

void TriggerServer::drop(int fd) {
    auto peer = peers_.find(fd);
    if (peer == peers_.end()) return;
    retire(peer->second->readable), retire(peer->second->silence);
    peers_.erase(peer);
    ::close(fd);
    if (listening_ && !retry_->isActive()) listening_->setEnabled(true);
}

}  // namespace quillberry::qt
