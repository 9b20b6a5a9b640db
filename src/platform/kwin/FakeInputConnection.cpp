// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeInputConnection.h"

#include "BoundedDispatch.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstring>

#include "fake-input-client.h"
#include "keystate-client.h"

namespace tarn::kwin {

struct FakeInputConnection::Globals {
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
    org_kde_kwin_keystate* keystate = nullptr;
};

namespace {

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto* globals = static_cast<FakeInputConnection::Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
               version >= 4) {
        // Keys came with version 4.
        globals->fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
    } else if (std::strcmp(interface, org_kde_kwin_keystate_interface.name) == 0) {
        globals->keystate = static_cast<org_kde_kwin_keystate*>(
            wl_registry_bind(registry, name, &org_kde_kwin_keystate_interface, 1));
    }
}

void ignoreGlobalRemove(void*, wl_registry*, std::uint32_t) {}

}  // namespace

std::unique_ptr<FakeInputConnection> FakeInputConnection::connect(const char* display) {
    std::unique_ptr<FakeInputConnection> c(new FakeInputConnection);
    c->display_ = wl_display_connect(display);
    if (!c->display_) return nullptr;
    c->globals_ = std::make_unique<Globals>();
    c->context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!c->context_) return nullptr;
    static const wl_registry_listener registryListener = {onGlobal, ignoreGlobalRemove};
    c->globals_->registry = wl_display_get_registry(c->display_);
    wl_registry_add_listener(c->globals_->registry, &registryListener, c->globals_.get());
    if (!c->roundtrip() || !c->globals_->seat) return nullptr;

    static const wl_keyboard_listener keyboardListener = {
        [](void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
            auto* self = static_cast<FakeInputConnection*>(data);
            void* text = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1
                             ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)
                             : MAP_FAILED;
            ::close(fd);
            if (text == MAP_FAILED) return;
            xkb_keymap* keymap =
                xkb_keymap_new_from_buffer(self->context_, static_cast<const char*>(text),
                                           ::strnlen(static_cast<const char*>(text), size),
                                           XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
            ::munmap(text, size);
            if (!keymap) return;
            if (self->keymap_) xkb_keymap_unref(self->keymap_);
            self->keymap_ = keymap;
            ++self->keymapNumber_;
        },
        [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
        [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
        [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
        [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
           std::uint32_t) {},
        [](void*, wl_keyboard*, std::int32_t, std::int32_t) {}};
    c->globals_->keyboard = wl_seat_get_keyboard(c->globals_->seat);
    wl_keyboard_add_listener(c->globals_->keyboard, &keyboardListener, c.get());
    if (c->globals_->keystate) {
        static const org_kde_kwin_keystate_listener keystateListener = {
            [](void* data, org_kde_kwin_keystate*, std::uint32_t key, std::uint32_t state) {
                if (key == ORG_KDE_KWIN_KEYSTATE_KEY_CAPSLOCK) {
                    static_cast<FakeInputConnection*>(data)->capsLocked_ =
                        state == ORG_KDE_KWIN_KEYSTATE_STATE_LOCKED;
                }
            }};
        org_kde_kwin_keystate_add_listener(c->globals_->keystate, &keystateListener, c.get());
    }
    FakeInputConnection* self = c.get();
    if (!c->dispatchUntil([self] { return self->keymap_ != nullptr; }, kAnswerTimeout))
        return nullptr;
    if (c->globals_->fakeInput) {
        org_kde_kwin_fake_input_authenticate(c->globals_->fakeInput, "Tarn",
                                             "types the keys of a macro");
        c->roundtrip();
    }
    return c;
}

FakeInputConnection::~FakeInputConnection() {
    if (globals_) {
        if (globals_->keyboard) wl_keyboard_destroy(globals_->keyboard);
        if (globals_->seat) wl_seat_destroy(globals_->seat);
        if (globals_->fakeInput) org_kde_kwin_fake_input_destroy(globals_->fakeInput);
        // Version 1 has no destructor request.
        if (globals_->keystate) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(globals_->keystate));
        if (globals_->registry) wl_registry_destroy(globals_->registry);
    }
    if (keymap_) xkb_keymap_unref(keymap_);
    if (context_) xkb_context_unref(context_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

bool FakeInputConnection::granted() const {
    return globals_->fakeInput != nullptr;
}

std::optional<bool> FakeInputConnection::capsLocked() {
    if (!globals_->keystate) return std::nullopt;
    // KWin answers with every lock's state.
    capsLocked_.reset();
    org_kde_kwin_keystate_fetchStates(globals_->keystate);
    if (!roundtrip()) return std::nullopt;
    return capsLocked_;
}

void FakeInputConnection::key(std::uint32_t key, bool pressed) {
    // The protocol takes the kernel's key numbers: XKB's less 8.
    org_kde_kwin_fake_input_keyboard_key(globals_->fakeInput, key - 8, pressed ? 1 : 0);
}

bool FakeInputConnection::flush() {
    return wl_display_flush(display_) >= 0 || errno == EAGAIN;
}

bool FakeInputConnection::broken() const {
    return wl_display_get_error(display_) != 0;
}

bool FakeInputConnection::roundtrip(std::chrono::milliseconds timeout) {
    return wayland::roundtrip(display_, timeout);
}

bool FakeInputConnection::dispatchUntil(const std::function<bool()>& done,
                                        std::chrono::milliseconds timeout) {
    return wayland::dispatchUntil(display_, done, timeout);
}

}  // namespace tarn::kwin
