#include "platform/qt/X11Selection.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace quillberry::qt {

namespace {
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

struct Connection {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ~Connection() { xcb_disconnect(c); }
    // All asked before any answer is awaited: one round trip to the server, not one a name.
    template <std::size_t N>
    std::array<xcb_atom_t, N> atoms(const std::array<const char*, N>& names) const {
        std::array<xcb_intern_atom_cookie_t, N> asked{};
        for (std::size_t i = 0; i < N; ++i) asked[i] = xcb_intern_atom(c, 0, uint16_t(std::strlen(names[i])), names[i]);
        std::array<xcb_atom_t, N> found{};
        for (std::size_t i = 0; i < N; ++i) {
            Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, asked[i], nullptr), &std::free);
            found[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
        return found;
    }
};

enum class Step { Answered, Refused, OwnerGone, TooSlow };

// Events for `window` until the owner answers on it (`property` is given a new value, or the
// conversion is answered), its window is destroyed, or `limit` passes without either.
Step await(const Connection& x, xcb_window_t window, xcb_window_t owner, bool incremental,
           std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        while (auto* event = xcb_poll_for_event(x.c)) {
            Reply<xcb_generic_event_t> held(event, &std::free);
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_DESTROY_NOTIFY && reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == owner)
                return Step::OwnerGone;
            if (type == XCB_SELECTION_NOTIFY && !incremental) {
                auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
                return notify->property == XCB_ATOM_NONE ? Step::Refused : Step::Answered;
            }
            if (type == XCB_PROPERTY_NOTIFY && incremental) {
                auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (change->window == window && change->state == XCB_PROPERTY_NEW_VALUE) return Step::Answered;
            }
        }
        if (xcb_connection_has_error(x.c)) return Step::OwnerGone;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Step::TooSlow;
        pollfd readable{xcb_get_file_descriptor(x.c), POLLIN, 0};
        ::poll(&readable, 1, int(left.count()));
    }
}

// The property's value, deleted as it is read (which, in an incremental transfer, asks for the
// next piece); `type` receives its type.
std::string take(const Connection& x, xcb_window_t window, xcb_atom_t property, std::size_t most, xcb_atom_t& type) {
    const auto words = uint32_t(std::min<std::size_t>(most / 4 + 1, UINT32_MAX));
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x.c, xcb_get_property(x.c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
                               nullptr),
        &std::free);
    type = reply ? reply->type : xcb_atom_t(XCB_ATOM_NONE);
    if (!reply) return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       std::size_t(xcb_get_property_value_length(reply.get())));
}

std::string fromLatin1(const std::string& latin1) {
    std::string text;
    for (unsigned char c : latin1) {
        if (c < 0x80) text += char(c);
        else text += char(0xc0 | (c >> 6)), text += char(0x80 | (c & 0x3f));
    }
    return text;
}
}  // namespace

std::optional<std::string> readX11Selection(const char* selection, std::chrono::milliseconds limit, std::size_t cap) {
    Connection x;
    if (xcb_connection_has_error(x.c)) return std::nullopt;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data;
    const auto [name, property, incr, utf8] =
        x.atoms(std::array<const char*, 4>{selection, "QUILLBERRY_SELECTION", "INCR", "UTF8_STRING"});
    const xcb_window_t window = xcb_generate_id(x.c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(x.c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(x.c, xcb_get_selection_owner(x.c, name), nullptr), &std::free);
    if (!owner || owner->owner == XCB_WINDOW_NONE) return std::nullopt;
    // Its destruction is how an owner that exits shows; one already gone refuses the watch.
    const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (Reply<xcb_generic_error_t> error(xcb_request_check(x.c, xcb_change_window_attributes_checked(
                                                                    x.c, owner->owner, XCB_CW_EVENT_MASK, &structure)),
                                         &std::free);
        error)
        return std::nullopt;
    for (const xcb_atom_t target : {utf8, xcb_atom_t(XCB_ATOM_STRING)}) {
        xcb_convert_selection(x.c, window, name, target, property, XCB_CURRENT_TIME);
        xcb_flush(x.c);
        const Step step = await(x, window, owner->owner, false, limit);
        if (step == Step::Refused) continue;
        if (step != Step::Answered) return std::nullopt;
        xcb_atom_t type = XCB_ATOM_NONE;
        std::string text = take(x, window, property, cap, type);
        // Some owners answer any format with the one thing they hold (an image, say).
        if (type != target && type != incr) continue;
        // Large texts come in pieces, each a new value of the property, until an empty one.
        if (type == incr) {
            text.clear();
            for (std::string piece = "-"; !piece.empty() && text.size() <= cap; text += piece) {
                xcb_flush(x.c);
                if (await(x, window, owner->owner, true, limit) != Step::Answered) return std::nullopt;
                piece = take(x, window, property, cap - std::min(cap, text.size()), type);
            }
        }
        if (text.size() > cap) text.resize(cap + 1);
        return target == XCB_ATOM_STRING ? fromLatin1(text) : text;
    }
    return std::nullopt;
}

}  // namespace quillberry::qt
