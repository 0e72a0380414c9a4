// Presses Ctrl+U (or Ctrl with the letter given as its argument) through XTEST once per line read
// on stdin and prints the wall-clock time (ns) taken just before the press; with --keycode, prints
// the letter's keycode and exits. One long-lived connection, so unlike xdotool no start-up or
// keymap query sits inside the measured interval.
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

namespace {
long long wallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

xcb_keycode_t keycodeOf(xcb_key_symbols_t* symbols, xcb_keysym_t sym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
    xcb_keycode_t code = codes ? codes[0] : XCB_NO_SYMBOL;
    std::free(codes);
    return code;
}
}  // namespace

int main(int argc, char** argv) {
    xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn)) {
        std::fputs("no X display\n", stderr);
        return 1;
    }
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(conn);
    const xcb_keycode_t ctrl = keycodeOf(symbols, XK_Control_L);
    // A lowercase letter's keysym is its ASCII code. `--keycode LETTER` prints the letter's key.
    const char* letter = argc > 1 ? argv[argc - 1] : "u";
    const xcb_keycode_t u = keycodeOf(symbols, letter[0] >= 'a' && letter[0] <= 'z' ? xcb_keysym_t(letter[0]) : XK_u);
    if (argc > 2 && std::string(argv[1]) == "--keycode") return std::printf("%d\n", u), 0;
    if (ctrl == XCB_NO_SYMBOL || u == XCB_NO_SYMBOL) {
        std::fputs("no keycode for Ctrl or the key\n", stderr);
        return 1;
    }
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;

    std::string line;
    while (std::getline(std::cin, line)) {
        const long long t0 = wallNs();
        for (auto [type, code] :
             {std::pair{XCB_KEY_PRESS, ctrl}, {XCB_KEY_PRESS, u}, {XCB_KEY_RELEASE, u}, {XCB_KEY_RELEASE, ctrl}})
            xcb_test_fake_input(conn, static_cast<uint8_t>(type), code, XCB_CURRENT_TIME, root, 0, 0, 0);
        // A round trip, so the server has taken the events before we answer.
        std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
        std::printf("%lld\n", t0);
        std::fflush(stdout);
    }
    xcb_key_symbols_free(symbols);
    xcb_disconnect(conn);
    return 0;
}
