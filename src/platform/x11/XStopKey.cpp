// SPDX-License-Identifier: GPL-3.0-or-later
#include "XStopKey.h"

#include <xcb/xcb.h>

#include <chrono>

#include "XcbReply.h"

namespace tarn::x11 {
namespace {

constexpr xcb_keysym_t kPauseKeysym = 0xff13;  // XK_Pause
// How often a run whose key another program holds asks for it again: a grab
// request is a round trip, and the keyboard asks between the parts of a Send.
constexpr std::chrono::milliseconds kRetryInterval{200};

}  // namespace

struct XStopKey::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::vector<xcb_keycode_t> keycodes;  // those the grab holds

    ~Connection() {
        if (c) xcb_disconnect(c);
    }
    bool broken() const { return xcb_connection_has_error(c) != 0; }

    // Every keycode that gives Pause in any group or level.
    std::vector<xcb_keycode_t> pauseKeycodes() {
        std::vector<xcb_keycode_t> found;
        const xcb_setup_t* setup = xcb_get_setup(c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        const Reply<xcb_get_keyboard_mapping_reply_t> map{xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)),
            nullptr)};
        if (!map) return found;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        const int width = map->keysyms_per_keycode;
        const int length = xcb_get_keyboard_mapping_keysyms_length(map.get());
        for (int i = 0; width > 0 && i < length; ++i) {
            const auto keycode = static_cast<xcb_keycode_t>(setup->min_keycode + i / width);
            if (syms[i] == kPauseKeysym && (found.empty() || found.back() != keycode)) {
                found.push_back(keycode);
            }
        }
        return found;
    }

    bool grabKey(xcb_keycode_t keycode, std::uint16_t modifiers) {
        const Reply<xcb_generic_error_t> error{
            xcb_request_check(c, xcb_grab_key_checked(c, 0, root, modifiers, keycode,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC))};
        return !error;
    }
};

XStopKey::XStopKey(std::unique_ptr<Connection> connection) : d_(std::move(connection)) {}

XStopKey::~XStopKey() {
    disarm();
}

std::unique_ptr<XStopKey> XStopKey::connect(const char* display) {
    auto d = std::make_unique<Connection>();
    int screenNumber = 0;
    d->c = xcb_connect(display, &screenNumber);
    if (d->broken()) return nullptr;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) return nullptr;
    d->root = screens.data->root;
    return std::unique_ptr<XStopKey>(new XStopKey(std::move(d)));
}

bool XStopKey::grab(bool quick) {
    d_->keycodes.clear();
    for (xcb_keycode_t keycode : d_->pauseKeycodes()) {
        // One grab for every combination of modifiers and locks; where another
        // program holds Pause with some of them, each combination on its own,
        // so the stop works with all the others.
        bool any = d_->grabKey(keycode, XCB_MOD_MASK_ANY);
        if (!any && !quick) {
            for (unsigned modifiers = 0; modifiers < 256; ++modifiers)
                any = d_->grabKey(keycode, static_cast<std::uint16_t>(modifiers)) || any;
        }
        if (any) d_->keycodes.push_back(keycode);
    }
    drain();
    return !d_->keycodes.empty();
}

void XStopKey::ungrab() {
    for (xcb_keycode_t keycode : d_->keycodes)
        xcb_ungrab_key(d_->c, keycode, d_->root, XCB_MOD_MASK_ANY);
    // The server must have let the key go before anything else happens (the
    // keyboard may type it next).
    sync(d_->c);
    d_->keycodes.clear();
    drain();
}

void XStopKey::drain() {
    while (const Reply<xcb_generic_event_t> event{xcb_poll_for_event(d_->c)}) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS && armed_ && !suspended_) {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
            for (xcb_keycode_t keycode : d_->keycodes) {
                if (key->detail == keycode) pressed_ = true;
            }
        }
    }
}

bool XStopKey::arm() {
    if (d_->broken()) return false;
    if (armed_) ungrab();
    pressed_ = false;
    suspended_ = false;
    // Armed also when another program (another run of Tarn on this display)
    // holds the key: the run takes it over once that program lets it go, so
    // that each run in turn can be stopped by it.
    const bool exists = !d_->pauseKeycodes().empty();
    armed_ = exists;
    nextTry_ = std::chrono::steady_clock::now() + kRetryInterval;
    return exists && grab();
}

void XStopKey::disarm() {
    if (!armed_) return;
    armed_ = false;
    suspended_ = false;
    if (!d_->broken()) ungrab();
}

bool XStopKey::heldElsewhere() const {
    return armed_ && d_->keycodes.empty();
}

void XStopKey::takeOverWhenFree() {
    if (!armed_ || suspended_ || !d_->keycodes.empty() || d_->broken()) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextTry_) return;
    nextTry_ = now + kRetryInterval;
    if (grab(true) && Taken) Taken();
}

bool XStopKey::pressed() {
    // Drained armed or not: every client gets some events (a changed keyboard
    // map), and an event loop watching the socket must find it empty again.
    if (!d_->broken()) {
        const bool before = pressed_;
        drain();
        if (pressed_ && !before && Pressed) Pressed();
        if (!pressed_) takeOverWhenFree();
    }
    return pressed_;
}

int XStopKey::descriptor() const {
    return xcb_get_file_descriptor(d_->c);
}

void XStopKey::suspend() {
    if (!armed_ || suspended_ || d_->keycodes.empty()) return;
    // A press already on its way still counts.
    pressed();
    suspended_ = true;
    ungrab();
}

void XStopKey::resume() {
    if (!armed_ || !suspended_) return;
    suspended_ = false;
    grab();
}

}  // namespace tarn::x11
