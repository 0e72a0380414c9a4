#include "Desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace quillberry::e2e {

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

Child::Child(const std::vector<std::string>& argv, const std::string& outputFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid_ < 0) throw std::runtime_error("cannot start " + argv[0]);
}

Child::~Child() {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    if (!waitExit(5000)) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Child::running() {
    int status = 0;
    if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return !status_;
}

std::optional<int> Child::exitCode() {
    if (running() || !WIFEXITED(*status_)) return std::nullopt;
    return WEXITSTATUS(*status_);
}

Desktop::Desktop() : connection_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(connection_)) throw std::runtime_error("no X server on $DISPLAY");
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    auto* atom = xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, 14, "WM_WINDOW_ROLE"), nullptr);
    roleAtom_ = atom->atom;
    free(atom);
    symbols_ = xcb_key_symbols_alloc(connection_);
}

Desktop::~Desktop() {
    xcb_key_symbols_free(symbols_);
    xcb_disconnect(connection_);
}

std::string Desktop::property(xcb_window_t window, xcb_atom_t atom) {
    auto* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, atom, XCB_ATOM_STRING, 0, 256), nullptr);
    if (!reply) return {};
    std::string value(static_cast<const char*>(xcb_get_property_value(reply)), size_t(xcb_get_property_value_length(reply)));
    free(reply);
    return value;
}

void Desktop::walk(xcb_window_t window, const std::function<void(xcb_window_t, xcb_window_t)>& visit) {
    auto* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
    if (!tree) return;
    xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        auto* attributes = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, children[i]), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        if (!viewable) continue;
        if (property(children[i], XCB_ATOM_WM_CLASS).rfind("quillberry", 0) == 0) visit(children[i], window);
        walk(children[i], visit);
    }
    free(tree);
}

std::vector<xcb_window_t> Desktop::windows(const std::string& role) {
    std::vector<xcb_window_t> found;
    walk(root_, [&](xcb_window_t w, xcb_window_t parent) {
        if (parent == root_ && property(w, roleAtom_) == role) found.push_back(w);
    });
    return found;
}

std::optional<xcb_window_t> Desktop::window(const std::string& role) {
    auto found = windows(role);
    return found.empty() ? std::nullopt : std::optional(found.front());
}

std::vector<xcb_window_t> Desktop::trayIcons() {
    std::vector<xcb_window_t> found;
    walk(root_, [&](xcb_window_t w, xcb_window_t parent) {
        if (parent != root_) found.push_back(w);
    });
    return found;
}

bool Desktop::menuOpen() {
    bool open = false;
    walk(root_, [&](xcb_window_t w, xcb_window_t parent) {
        auto* attributes = xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, w), nullptr);
        open |= parent == root_ && attributes && attributes->override_redirect;
        free(attributes);
    });
    return open;
}

QRect Desktop::geometry(xcb_window_t window) {
    auto* g = xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    auto* t = xcb_translate_coordinates_reply(connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0),
                                              nullptr);
    QRect rect(t ? t->dst_x : 0, t ? t->dst_y : 0, g ? g->width : 0, g ? g->height : 0);
    free(g), free(t);
    return rect;
}

void Desktop::fake(uint8_t type, uint8_t detail, int16_t x, int16_t y) {
    xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, root_, x, y, 0);
    free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));  // a round trip
}

void Desktop::focus(xcb_window_t window) {
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void Desktop::keys(const std::vector<uint32_t>& keysyms) {
    std::vector<xcb_keycode_t> codes;
    for (uint32_t sym : keysyms) {
        xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols_, sym);
        if (!found) throw std::runtime_error("no key for keysym " + std::to_string(sym));
        codes.push_back(found[0]);
        free(found);
    }
    for (xcb_keycode_t code : codes) fake(XCB_KEY_PRESS, code);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it) fake(XCB_KEY_RELEASE, *it);
}

void Desktop::click(QPoint at) {
    fake(XCB_MOTION_NOTIFY, 0, int16_t(at.x()), int16_t(at.y()));
    fake(XCB_BUTTON_PRESS, 1);
    fake(XCB_BUTTON_RELEASE, 1);
}

void Desktop::screenshot(const std::string& name) {
    std::filesystem::create_directories(QUILLBERRY_SHOTS);
    Child shot({"import", "-window", "root", std::string(QUILLBERRY_SHOTS) + "/" + name + ".png"});
    shot.waitExit();
}

}  // namespace quillberry::e2e
