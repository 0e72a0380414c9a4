#pragma once
// Drives the real X server as a user would: keys and clicks through XTEST, windows found by
// the roles and class the app gives them, child processes stopped by their PID.

#include <sys/types.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QRect>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillberry::e2e {

// Turns the Qt event loop (the clipboard we own is served from it) until `done` holds.
bool waitFor(const std::function<bool()>& done, int ms = 10000);

// A child process; it is stopped (SIGTERM, then SIGKILL) and reaped when it goes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& outputFile = "/dev/null");
    ~Child();
    Child(const Child&) = delete;
    pid_t pid() const { return pid_; }
    bool running();
    std::optional<int> exitCode();  // once it has exited normally
    bool waitExit(int ms = 10000) { return waitFor([&] { return !running(); }, ms); }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

class Desktop {
public:
    Desktop();
    ~Desktop();
    // Mapped top-level windows of the app with this role ("quillberry-alert", …).
    std::vector<xcb_window_t> windows(const std::string& role);
    std::optional<xcb_window_t> window(const std::string& role);
    // Icons of the app embedded in a tray host.
    std::vector<xcb_window_t> trayIcons();
    bool menuOpen();
    QRect geometry(xcb_window_t window);

    void focus(xcb_window_t window);
    // Presses the keys in order and releases them in reverse: {Control_L, u} is Ctrl+U.
    void keys(const std::vector<uint32_t>& keysyms);
    void click(QPoint onScreen);
    void screenshot(const std::string& name);

private:
    std::string property(xcb_window_t window, xcb_atom_t atom);
    void fake(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0);
    void walk(xcb_window_t window, const std::function<void(xcb_window_t, xcb_window_t parent)>& visit);
    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_atom_t roleAtom_;
    xcb_key_symbols_t* symbols_;
};

}  // namespace quillberry::e2e
