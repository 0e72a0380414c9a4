#include "platform/wayland/DataControl.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <pthread.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace quillberry::wayland {

// The two protocols are the same wire interface under two names: one client serves both,
// through the interface tables of the one the compositor offers.
struct DataControl::Protocol {
    const wl_interface *manager, *device, *source, *offer;
    uint32_t version;  // the highest this client speaks
};

namespace {
const DataControl::Protocol EXT{&ext_data_control_manager_v1_interface, &ext_data_control_device_v1_interface,
                                &ext_data_control_source_v1_interface, &ext_data_control_offer_v1_interface, 1};
const DataControl::Protocol WLR{&zwlr_data_control_manager_v1_interface, &zwlr_data_control_device_v1_interface,
                                &zwlr_data_control_source_v1_interface, &zwlr_data_control_offer_v1_interface, 2};

enum : uint32_t { CREATE_DATA_SOURCE = 0, GET_DATA_DEVICE = 1, MANAGER_DESTROY = 2 };
enum : uint32_t { SET_SELECTION = 0, DEVICE_DESTROY = 1, SET_PRIMARY_SELECTION = 2 };
enum : uint32_t { SOURCE_OFFER = 0, SOURCE_DESTROY = 1 };
enum : uint32_t { OFFER_RECEIVE = 0, OFFER_DESTROY = 1 };
static_assert(CREATE_DATA_SOURCE == EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE &&
              CREATE_DATA_SOURCE == ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE &&
              GET_DATA_DEVICE == ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE &&
              MANAGER_DESTROY == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY &&
              SET_PRIMARY_SELECTION == EXT_DATA_CONTROL_DEVICE_V1_SET_PRIMARY_SELECTION &&
              SET_PRIMARY_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_SET_PRIMARY_SELECTION &&
              DEVICE_DESTROY == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY &&
              SOURCE_DESTROY == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY &&
              OFFER_RECEIVE == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE &&
              OFFER_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);

// Text types, best first: what programs on Wayland and, through XWayland, on X11 offer.
constexpr const char* TEXT_TYPES[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

struct DeviceListener {
    void (*dataOffer)(void*, wl_proxy*, wl_proxy*);
    void (*selection)(void*, wl_proxy*, wl_proxy*);
    void (*finished)(void*, wl_proxy*);
    void (*primarySelection)(void*, wl_proxy*, wl_proxy*);
};
struct OfferListener {
    void (*offer)(void*, wl_proxy*, const char*);
};
struct SourceListener {
    void (*send)(void*, wl_proxy*, const char*, int32_t);
    void (*cancelled)(void*, wl_proxy*);
};
static_assert(sizeof(DeviceListener) == sizeof(zwlr_data_control_device_v1_listener) &&
              sizeof(DeviceListener) == sizeof(ext_data_control_device_v1_listener) &&
              sizeof(SourceListener) == sizeof(zwlr_data_control_source_v1_listener) &&
              sizeof(OfferListener) == sizeof(zwlr_data_control_offer_v1_listener));

wl_proxy* destroyed(wl_proxy* proxy, uint32_t opcode) {
    if (proxy) wl_proxy_marshal_flags(proxy, opcode, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
    return nullptr;
}

}  // namespace

// Writes the clipboard's bytes to the programs that read it, on one thread of its own: a
// reader slower than a pipe's buffer (or this app itself, reading its own clipboard back)
// never blocks the loop. Non-blocking writes to a few readers at a time, the next ones waiting
// their turn, so that a paste made while silent readers hold every place still gets the text;
// one that takes no byte for a while is let go, so that readers that never read cost neither
// a thread nor a descriptor each, and nothing here can throw into libwayland's C frames.
class DataControl::Writer {
public:
    static constexpr std::size_t MAX_READERS = 16, MAX_WAITING = 112;
    static constexpr auto PATIENCE = std::chrono::seconds(5);

    Writer() {
        if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category());
        thread_ = std::thread([this] { run(); });
    }
    ~Writer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake();
        thread_.join();
        ::close(wake_[0]), ::close(wake_[1]);
    }
    // Takes `fd`: it is written to, then closed; or closed at once when too many readers wait.
    void serve(std::shared_ptr<const std::string> text, int fd) noexcept {
        std::lock_guard lock(mutex_);
        if (readers_ >= MAX_READERS + MAX_WAITING || ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0) return void(::close(fd));
        try {
            incoming_.push_back({fd, std::move(text), 0, Clock::now()});
        } catch (...) {
            return void(::close(fd));
        }
        ++readers_;
        wake();
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Transfer {
        int fd;
        std::shared_ptr<const std::string> text;
        std::size_t written;
        Clock::time_point progress;
    };
    void wake() { [[maybe_unused]] auto n = ::write(wake_[1], "", 1); }
    void run() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);  // a reader that leaves early is EPIPE, not death
        std::vector<Transfer> active;
        std::deque<Transfer> waiting;  // in the order they came; their patience starts with their turn
        std::vector<pollfd> fds;
        for (bool stopping = false; !stopping;) {
            {
                std::lock_guard lock(mutex_);
                for (auto& t : incoming_) waiting.push_back(std::move(t));
                incoming_.clear();
                stopping = stopping_;
            }
            for (; active.size() < MAX_READERS && !waiting.empty(); waiting.pop_front()) {
                active.push_back(std::move(waiting.front()));
                active.back().progress = Clock::now();
            }
            fds.assign(1, {wake_[0], POLLIN, 0});
            int wait = -1;  // nobody to serve: sleep until woken
            for (const auto& t : active) {
                fds.push_back({t.fd, POLLOUT, 0});
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(t.progress + PATIENCE - Clock::now());
                wait = int(std::clamp<long long>(left.count(), 0, wait < 0 ? INT_MAX : wait));
            }
            if (!stopping && ::poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) break;
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {}
            const auto now = Clock::now();
            std::size_t ended = 0;
            for (std::size_t i = 0; i < active.size(); ++i) {
                Transfer& t = active[i];
                bool done = stopping || now - t.progress > PATIENCE;
                if (!done && fds[i + 1].revents) {
                    const std::size_t chunk = std::min<std::size_t>(t.text->size() - t.written, 1 << 16);
                    const ssize_t n = chunk ? ::write(t.fd, t.text->data() + t.written, chunk) : 0;
                    if (n > 0) t.written += std::size_t(n), t.progress = now;
                    done = t.written == t.text->size() || (n < 0 && errno != EAGAIN && errno != EINTR);
                }
                if (done) ::close(t.fd), t.fd = -1, ++ended;
            }
            std::erase_if(active, [](const Transfer& t) { return t.fd < 0; });
            std::lock_guard lock(mutex_);
            readers_ -= ended;
        }
        for (auto& t : active) ::close(t.fd);
        for (auto& t : waiting) ::close(t.fd);
        std::lock_guard lock(mutex_);
        for (auto& t : incoming_) ::close(t.fd);
        incoming_.clear();
    }

    std::mutex mutex_;
    std::vector<Transfer> incoming_;
    std::size_t readers_ = 0;  // incoming and active
    bool stopping_ = false;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

struct DataControl::Source {
    DataControl* owner;
    wl_proxy* proxy;
    std::shared_ptr<const std::string> text;
    ~Source() { destroyed(proxy, SOURCE_DESTROY); }
};

std::unique_ptr<DataControl> DataControl::connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<DataControl> client(new DataControl);
    client->display_ = display;
    client->registry_ = wl_display_get_registry(display);
    static const wl_registry_listener registryListener{&DataControl::onGlobal, &DataControl::onGlobalRemove};
    wl_registry_add_listener(client->registry_, &registryListener, client.get());
    if (!client->sync(std::chrono::seconds(2)) || !client->protocol_ || !client->seat_) return nullptr;

    client->manager_ = static_cast<wl_proxy*>(
        wl_registry_bind(client->registry_, client->managerName_, client->protocol_->manager, client->version_));
    client->device_ = wl_proxy_marshal_flags(client->manager_, GET_DATA_DEVICE, client->protocol_->device,
                                             client->version_, 0, nullptr, client->seat_);
    static const DeviceListener deviceListener{&DataControl::onDataOffer, &DataControl::onSelection,
                                               &DataControl::onFinished, &DataControl::onPrimarySelection};
    wl_proxy_add_listener(
        client->device_, reinterpret_cast<void (**)(void)>(const_cast<DeviceListener*>(&deviceListener)), client.get());
    // The current selections arrive in reply to the device's creation.
    if (!client->sync(std::chrono::seconds(2))) return nullptr;
    return client;
}

DataControl::~DataControl() {
    writer_.reset();
    source_.reset();
    for (auto& [offer, types] : offers_) destroyed(offer, OFFER_DESTROY);
    destroyed(device_, DEVICE_DESTROY);
    destroyed(manager_, MANAGER_DESTROY);
    if (seat_) wl_proxy_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool DataControl::offersPrimary() const { return usable() && (protocol_ == &EXT || version_ >= 2); }
bool DataControl::usable() const { return device_ && !finished_ && wl_display_get_error(display_) == 0; }
int DataControl::fd() const { return wl_display_get_fd(display_); }

void DataControl::onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* self = static_cast<DataControl*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
        self->seat_ = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
    for (const Protocol* p : {&EXT, &WLR}) {
        // The ext protocol is preferred whenever both are offered.
        if (std::strcmp(interface, p->manager->name) != 0 || (self->protocol_ == &EXT && p == &WLR)) continue;
        self->protocol_ = p;
        self->managerName_ = name;
        self->version_ = std::min(version, p->version);
    }
}

void DataControl::onGlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<DataControl*>(data);
    if (self->manager_ && name == self->managerName_) self->finished_ = true;
}

void DataControl::onDataOffer(void* data, wl_proxy*, wl_proxy* offer) {
    auto* self = static_cast<DataControl*>(data);
    self->offers_[offer];
    static const OfferListener listener{&DataControl::onOffer};
    wl_proxy_add_listener(offer, reinterpret_cast<void (**)(void)>(const_cast<OfferListener*>(&listener)), self);
}

void DataControl::onOffer(void* data, wl_proxy* offer, const char* type) {
    static_cast<DataControl*>(data)->offers_[offer].insert(type);
}

void DataControl::onSelection(void* data, wl_proxy*, wl_proxy* offer) {
    static_cast<DataControl*>(data)->setSelection(offer, Selection::Clipboard);
}

void DataControl::onPrimarySelection(void* data, wl_proxy*, wl_proxy* offer) {
    static_cast<DataControl*>(data)->setSelection(offer, Selection::Primary);
}

void DataControl::setSelection(wl_proxy* offer, Selection which) {
    wl_proxy*& slot = which == Selection::Clipboard ? clipboard_ : primary_;
    wl_proxy* old = slot;
    slot = offer;
    // An offer may stand for both selections at once: it goes when neither holds it.
    if (old && old != clipboard_ && old != primary_) forget(old);
}

void DataControl::forget(wl_proxy* offer) {
    offers_.erase(offer);
    destroyed(offer, OFFER_DESTROY);
}

void DataControl::onFinished(void* data, wl_proxy*) { static_cast<DataControl*>(data)->finished_ = true; }

void DataControl::onSend(void* data, wl_proxy*, const char*, int32_t fd) {
    auto* source = static_cast<Source*>(data);
    // Called from libwayland's C frames: nothing may be thrown through them.
    try {
        if (!source->owner->writer_) source->owner->writer_ = std::make_unique<Writer>();
    } catch (...) {
        return void(::close(fd));  // no thread to be had: this reader gets nothing
    }
    source->owner->writer_->serve(source->text, fd);
}

void DataControl::onCancelled(void* data, wl_proxy*) {
    auto* source = static_cast<Source*>(data);
    // Another program owns the clipboard now; this one's copy is no longer needed.
    if (source->owner->source_.get() == source) source->owner->source_.reset();
}

bool DataControl::pump(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline, int otherFd) {
    using namespace std::chrono;
    while (!done()) {
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) return false;
            if (done()) return true;
        }
        wl_display_flush(display_);
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd fds[2] = {{fd(), POLLIN, 0}, {otherFd, POLLIN, 0}};
        const int ready = ::poll(fds, otherFd >= 0 ? 2 : 1, int(left));
        if (ready > 0 && fds[0].revents) {
            if (wl_display_read_events(display_) < 0) return false;
        } else {
            wl_display_cancel_read(display_);
        }
        if (ready < 0 && errno != EINTR) return false;
        if (wl_display_dispatch_pending(display_) < 0) return false;
        if (ready > 0 && otherFd >= 0 && fds[1].revents) return true;  // the caller's turn
    }
    return true;
}

bool DataControl::sync(std::chrono::milliseconds limit) {
    bool done = false;
    auto* callback = wl_display_sync(display_);
    static const wl_callback_listener listener{
        [](void* flag, wl_callback*, uint32_t) { *static_cast<bool*>(flag) = true; }};
    wl_callback_add_listener(callback, &listener, &done);
    const bool ok = pump([&] { return done; }, std::chrono::steady_clock::now() + limit);
    wl_callback_destroy(callback);
    return ok;
}

void DataControl::dispatch() {
    if (wl_display_prepare_read(display_) == 0) {
        pollfd readable{fd(), POLLIN, 0};
        if (::poll(&readable, 1, 0) > 0) wl_display_read_events(display_);
        else wl_display_cancel_read(display_);
    }
    wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
}

std::optional<std::string> DataControl::read(Selection which, std::chrono::milliseconds limit, std::size_t cap) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // What the compositor has sent up to now decides which offer is current.
    if (!usable() || !sync(limit)) return std::nullopt;
    wl_proxy* offer = which == Selection::Clipboard ? clipboard_ : primary_;
    if (!offer) return std::nullopt;
    const auto& types = offers_[offer];
    const char* type = nullptr;
    for (const char* t : TEXT_TYPES) {
        if (types.count(t)) {
            type = t;
            break;
        }
    }
    if (!type) return std::nullopt;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    wl_proxy_marshal_flags(offer, OFFER_RECEIVE, nullptr, wl_proxy_get_version(offer), 0, type, fds[1]);
    ::close(fds[1]);
    std::string text;
    char buffer[65536];
    bool complete = false;
    while (!complete) {
        // Events keep flowing while waiting: when the owner is this client, they carry the
        // request to write what is being read.
        if (!pump([] { return false; }, deadline, fds[0])) break;
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (n == 0) complete = true;
        text.append(buffer, std::size_t(n));
        if (text.size() > cap) {
            text.resize(cap + 1);
            complete = true;
        }
    }
    ::close(fds[0]);
    if (!complete) return std::nullopt;
    return text;
}

bool DataControl::write(const std::string& text) {
    if (!usable()) return false;
    auto source = std::make_unique<Source>(Source{this, nullptr, std::make_shared<const std::string>(text)});
    source->proxy = wl_proxy_marshal_flags(manager_, CREATE_DATA_SOURCE, protocol_->source, version_, 0, nullptr);
    static const SourceListener listener{&DataControl::onSend, &DataControl::onCancelled};
    wl_proxy_add_listener(source->proxy, reinterpret_cast<void (**)(void)>(const_cast<SourceListener*>(&listener)),
                          source.get());
    for (const char* type : TEXT_TYPES) wl_proxy_marshal_flags(source->proxy, SOURCE_OFFER, nullptr, version_, 0, type);
    wl_proxy_marshal_flags(device_, SET_SELECTION, nullptr, version_, 0, source->proxy);
    source_ = std::move(source);
    // Checked, not assumed: a compositor may refuse or replace it at once.
    std::optional<std::string> back = read(Selection::Clipboard, std::chrono::seconds(5), text.size());
    return source_ && back == text;
}

void DataControl::clear() {
    if (!usable()) return;
    wl_proxy_marshal_flags(device_, SET_SELECTION, nullptr, version_, 0, nullptr);
    source_.reset();
    wl_display_flush(display_);
}

}  // namespace quillberry::wayland
