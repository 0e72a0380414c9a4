#pragma once
// The clipboard and the primary selection of a Wayland session, without focus: a client of
// the compositor's data-control protocol (ext-data-control-v1, else the wlr one) over its own
// connection. Toolkit-free; the owner feeds it from its event loop through fd() and
// dispatch(). Single-threaded: every call comes from the thread that made it.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

struct wl_display;
struct wl_proxy;
struct wl_registry;

namespace quillberry::wayland {

enum class Selection { Clipboard, Primary };

class DataControl {
public:
    // Null when there is no compositor, or it offers neither protocol nor a seat.
    static std::unique_ptr<DataControl> connect();
    ~DataControl();
    DataControl(const DataControl&) = delete;
    DataControl& operator=(const DataControl&) = delete;

    bool offersPrimary() const;
    // False once the compositor has withdrawn the protocol or the connection broke.
    bool usable() const;

    // The selection's text; absent when it holds none, its owner does not answer within
    // `limit`, or the protocol is gone. A text past `cap` bytes is cut to cap + 1 bytes, so
    // that it stays too long for the caller rather than becoming a shorter, wrong one.
    std::optional<std::string> read(Selection which, std::chrono::milliseconds limit = std::chrono::seconds(5),
                                    std::size_t cap = std::size_t(64) << 20);
    // Offers `text` as the clipboard and serves it to readers until another program takes
    // the clipboard. True only once the compositor has made it the selection and reading
    // the selection back gives `text`.
    bool write(const std::string& text);
    void clear();

    int fd() const;
    // Handles what the compositor sent; call when fd() is readable.
    void dispatch();

    struct Protocol;
    struct Source;
    class Writer;

private:
    DataControl() = default;
    bool pump(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline, int otherFd = -1);
    bool sync(std::chrono::milliseconds limit);
    void forget(wl_proxy* offer);
    void setSelection(wl_proxy* offer, Selection which);

    static void onGlobal(void*, wl_registry*, uint32_t, const char*, uint32_t);
    static void onGlobalRemove(void*, wl_registry*, uint32_t);
    static void onDataOffer(void*, wl_proxy*, wl_proxy*);
    static void onSelection(void*, wl_proxy*, wl_proxy*);
    static void onFinished(void*, wl_proxy*);
    static void onPrimarySelection(void*, wl_proxy*, wl_proxy*);
    static void onOffer(void*, wl_proxy*, const char*);
    static void onSend(void*, wl_proxy*, const char*, int32_t);
    static void onCancelled(void*, wl_proxy*);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    const Protocol* protocol_ = nullptr;
    uint32_t managerName_ = 0, version_ = 0;
    wl_proxy* seat_ = nullptr;
    wl_proxy* manager_ = nullptr;
    wl_proxy* device_ = nullptr;
    bool finished_ = false;
    std::map<wl_proxy*, std::set<std::string>> offers_;  // offer → its MIME types
    wl_proxy* clipboard_ = nullptr;
    wl_proxy* primary_ = nullptr;
    std::unique_ptr<Source> source_;  // what this client offers as the clipboard
    std::unique_ptr<Writer> writer_;  // serves it to its readers, from the first one on
};

}  // namespace quillberry::wayland
