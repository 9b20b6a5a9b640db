// SPDX-License-Identifier: GPL-3.0-or-later
#include "VirtualKeyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "ActiveToplevel.h"
#include "Failure.h"
#include "OwnKeymap.h"
#include "SocketBacklog.h"
#include "TypingEngine.h"
#include "WaylandConnection.h"
#include "XWaylandQueues.h"
#include "virtual-keyboard-unstable-v1-client.h"

namespace tarn::wayland {
namespace {

using std::chrono::milliseconds;

// The longest wait for the seat to announce an uploaded keymap. A compositor
// that announces nothing costs this once per upload.
constexpr milliseconds kKeymapTimeout{1000};
// How much longer than this program the focused client may take to compile a
// keymap (it has other work in between, and may do more with it).
constexpr int kClientCompileFactor = 2;
// The events of one batch: between two batches the compositor has taken what
// was sent, the stop key is asked and the target confirmed.
constexpr std::size_t kBatch = 64;
// A compositor disconnects a client whose queue overflows, and the program
// dies with the user's unsaved work. Before each batch the focused program
// must have read all but this much of what it was sent (a batch adds about
// as much again), far below what its socket holds.
constexpr std::size_t kUnreadLimit = 2048;
// A target that reads nothing of its keys for this long has hung: the Send
// ends rather than wait for it forever, or overflow its queue.
constexpr milliseconds kStalled{10000};

// Where the X program with the focus cannot be seen to have handled its keys
// (it never waits for input), this stands in for that before a keycode
// changes meaning.
constexpr milliseconds kUnhandledDelay{500};

[[noreturn]] void cannotType() {
    throw runtimeFailure(kInvalidArgument);
}

}  // namespace

struct VirtualKeyboard::State : typing::TypingPort {
    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<OwnKeymap> keymap;
    // Which window has the focus, and how much the programs have left
    // unread; either may be missing on a compositor that does not tell.
    std::unique_ptr<ActiveToplevel> active;
    std::unique_ptr<posix::SocketBacklog> backlog;
    // XWayland's display (empty: none), and the queues on the way to its X
    // programs once one is connected.
    std::string xDisplay;
    std::unique_ptr<XWaylandQueues> xwayland;
    bool xwaylandTried = false;  // in this Send: opened once at most
    // The highest keycode the target of this Send sees: an X program's
    // fewer than a Wayland program's.
    std::uint32_t maxKeycode = OwnKeymap::kX11MaxKeycode;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    // The seat's keyboard as this client sees it: it hears of every keymap
    // the seat hands on to clients.
    wl_keyboard* seatKeyboard = nullptr;
    std::uint64_t keymapsAnnounced = 0;
    std::uint64_t uploaded = ~std::uint64_t{0};  // the keymap generation uploaded last
    std::uint32_t locked = 0;                    // this keyboard's locked modifiers
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    // The sequence under way: its target and the locks as found.
    std::uint64_t target = 0;
    std::uint32_t lockedBefore = 0;
    typing::TypingEngine engine{*this};

    ~State() override {
        if (seatKeyboard) wl_keyboard_destroy(seatKeyboard);
        if (keyboard) zwp_virtual_keyboard_v1_destroy(keyboard);
        keymap.reset();
        xwayland.reset();
        active.reset();
        connection.reset();
    }

    std::uint32_t now() const {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - epoch)
                .count());
    }
    void key(std::uint32_t keycode, bool press) {
        zwp_virtual_keyboard_v1_key(
            keyboard, now(), keycode - 8,
            press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    void modifiers(std::uint32_t depressed) {
        zwp_virtual_keyboard_v1_modifiers(keyboard, depressed, 0, locked, 0);
    }

    bool upload() {
        const std::string text = keymap->text();
        const std::chrono::microseconds compileTime = keymap->compile(text);
        if (compileTime.count() < 0) return false;
        const int fd = ::memfd_create("tarn-keymap", MFD_CLOEXEC);
        if (fd < 0) return false;
        const std::size_t size = text.size() + 1;  // with its terminating NUL
        bool written = true;
        for (std::size_t done = 0; written && done < size;) {
            const ssize_t n = ::write(fd, text.c_str() + done, size - done);
            written = n > 0;
            if (written) done += static_cast<std::size_t>(n);
        }
        if (written) {
            // The request carries a duplicate of the descriptor.
            zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                           static_cast<std::uint32_t>(size));
        }
        ::close(fd);
        if (!written) return false;
        uploaded = keymap->generation();
        // A keymap reaches the clients once this keyboard is the seat's
        // current one, which its modifiers make it. The first key must not
        // come before the focused client has the keymap, or the client reads
        // it with the keymap it had.
        const std::uint64_t before = keymapsAnnounced;
        modifiers(0);
        if (!seatKeyboard) {
            // The seat offers a keyboard only once it has one, this one.
            if (!connection->roundtrip()) return false;
            seatKeyboard = wl_seat_get_keyboard(connection->seat());
            static const wl_keyboard_listener listener = {
                [](void* data, wl_keyboard*, std::uint32_t, int fd, std::uint32_t) {
                    ::close(fd);
                    ++static_cast<State*>(data)->keymapsAnnounced;
                },
                [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
                [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
                [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t) {},
                [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t) {},
                [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
            };
            wl_keyboard_add_listener(seatKeyboard, &listener, this);
        }
        connection->dispatchUntil([&] { return keymapsAnnounced > before; }, kKeymapTimeout);
        // Nothing tells when the focused client has compiled the keymap, and
        // until it has it reads no events: keys sent meanwhile pile up, and a
        // compositor disconnects a client whose queue overflows (sway did so
        // to foot under a run of short Sends with new characters). The client
        // takes about as long as this program took for the same text.
        // Xwayland is watched reading its keys instead (letTargetCatchUp()),
        // and takes far longer (it runs a compiler of its own).
        if (!xwaylandTarget()) {
            std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
                kClientCompileFactor * compileTime, kKeymapTimeout));
        }
        return !connection->broken();
    }

    // Returns once the focused program has read all but kUnreadLimit of
    // what it was sent, and where it may be an X program, Xwayland too;
    // throws 1012 when it stops reading altogether.
    void letTargetCatchUp() {
        XWaylandQueues* x = xwaylandTarget();
        if (!backlog && !x) return;
        using Clock = std::chrono::steady_clock;
        std::size_t before = SIZE_MAX;
        Clock::time_point progress = Clock::now();
        for (;;) {
            std::optional<std::size_t> unread = backlog ? backlog->largest() : std::nullopt;
            if (x) {
                const std::optional<std::size_t> server = x->serverUnread();
                if (server && (!unread || *server > *unread)) unread = server;
            }
            if (!unread || *unread <= kUnreadLimit) return;
            if (*unread < before) progress = Clock::now();
            before = *unread;
            if (Clock::now() - progress > kStalled) {
                throw Failure(kTargetWindowClosed,
                              "The window the keys were typed into stopped reading them",
                              kRuntimeSource);
            }
            // Nothing announces that another program has read its socket.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // The queues to Xwayland where this Send's target may be an X program
    // (refresh() said so); null otherwise.
    XWaylandQueues* xwaylandTarget() const {
        return maxKeycode == OwnKeymap::kX11MaxKeycode ? xwayland.get() : nullptr;
    }

    // Whether an X program under XWayland may get the keys: true unless the
    // X server says none has the focus, or it serves none (where no X client
    // is connected, XWayland may not even run).
    bool xProgramMayBeFocused() {
        if (xDisplay.empty()) return false;
        if (!xwayland) {
            xwaylandTried = true;
            bool unused = false;
            xwayland = XWaylandQueues::open(xDisplay.c_str(), &unused);
            if (!xwayland) return !unused;
        }
        if (const std::optional<bool> focused = xwayland->programFocused()) return *focused;
        // Xwayland has gone, and its programs with it; it may be started
        // again.
        xwayland.reset();
        return true;
    }

    // The port of the typing engine.

    // Asked first in every Send (and again once a stopped program is
    // continued), before the room to bind in: which keycodes the target
    // sees.
    void refresh() override {
        // XWayland may have started, or started again, since the last Send.
        xwaylandTried = false;
        maxKeycode = xProgramMayBeFocused() ? OwnKeymap::kX11MaxKeycode : OwnKeymap::kAnyKeycode;
    }

    std::optional<typing::KeyPlace> find(char32_t character, xkb_keysym_t keysym) override {
        const OwnKeymap::Place* place = character ? keymap->findCharacter(character) : nullptr;
        if (!place) place = keymap->findKeysym(keysym);
        if (!place) return std::nullopt;
        return typing::KeyPlace{place->keycode, place->shift ? typing::kShift : 0u};
    }

    std::uint32_t modifierKey(typing::Modifier modifier) override {
        switch (modifier) {
            case typing::kShift:
                return keymap->shiftKey();
            case typing::kControl:
                return keymap->controlKey();
            case typing::kAlt:
                return keymap->altKey();
            case typing::kLevel3:
                return 0;  // the keymap's own layout needs none
        }
        return 0;
    }

    std::uint32_t maskOf(std::uint32_t modifiers) const {
        return (modifiers & typing::kShift ? keymap->shiftMask() : 0) |
               (modifiers & typing::kControl ? keymap->controlMask() : 0) |
               (modifiers & typing::kAlt ? keymap->altMask() : 0);
    }

    std::size_t bindingRoom() override { return keymap->capacity(maxKeycode); }

    bool bind(const std::vector<xkb_keysym_t>& keysyms) override {
        bool rebound = false;
        if (!keymap->bind(keysyms, maxKeycode, &rebound)) return false;
        if (rebound) letOldMeaningsBeRead();
        if (uploaded != keymap->generation() && !upload()) cannotType();
        return true;
    }

    // A keycode that changes meaning must not have keys of its old one still
    // unhandled: a Wayland program reads the new keymap after them, in order,
    // but an X11 program under XWayland may take the new map in before it
    // handles them (XWaylandQueues.h).
    void letOldMeaningsBeRead() {
        // The second answer comes after everything the compositor sent its
        // clients while it handled the first: the keys are on their way to
        // the focused program, or to Xwayland.
        if (!connection->roundtrip() || !connection->roundtrip()) cannotType();
        letTargetCatchUp();
        if (!xwayland && !xwaylandTried && !xDisplay.empty()) {
            xwaylandTried = true;
            xwayland = XWaylandQueues::open(xDisplay.c_str());
        }
        if (!xwayland) return;
        switch (xwayland->drain(kStalled, kUnhandledDelay)) {
            case XWaylandQueues::Drained::Yes:
                return;
            case XWaylandQueues::Drained::Stalled:
                throw Failure(kTargetWindowClosed,
                              "The window the keys were typed into stopped reading them",
                              kRuntimeSource);
            case XWaylandQueues::Drained::Lost:
                // Xwayland has gone, and its programs with it; it may be
                // started again.
                xwayland.reset();
                return;
        }
    }

    std::optional<typing::KeyPlace> bound(xkb_keysym_t keysym) override {
        const OwnKeymap::Place* place = keymap->findBound(keysym, maxKeycode);
        if (!place) return std::nullopt;
        keymap->touch(keysym);
        return typing::KeyPlace{place->keycode, place->shift ? typing::kShift : 0u};
    }

    void enter(bool resuming) override {
        // The focus as the compositor has it now: a window activated just
        // before (SetFocus) may have been announced on another connection
        // first.
        if (!resuming) {
            target = 0;
            if (active && connection->roundtrip()) target = active->active();
        }
        if (backlog) {
            backlog->refreshOwn();
            // What a program has left unread as a Send begins was sent it
            // before: unless the Send adds to it, it is no reason to wait.
            if (!resuming) backlog->settle();
        }
        // Typing goes on without Caps Lock, which only a {CAPSLOCK} of the
        // sequence changes, at its end.
        lockedBefore = locked;
        locked = lockedBefore & ~keymap->capsMask();
        if (uploaded != keymap->generation()) {
            if (!upload()) cannotType();
        } else if (lockedBefore != locked) {
            modifiers(0);
        }
    }

    void leave(bool capsLockToggled) override {
        locked = capsLockToggled ? lockedBefore ^ keymap->capsMask() : lockedBefore;
        modifiers(0);
    }

    std::size_t batchSize() const override { return kBatch; }

    bool openBatch() override {
        if (!connection->roundtrip()) return true;  // the engine reports the lost connection
        if (active && target) {
            if (!active->update() || active->active() != target) return false;
        }
        letTargetCatchUp();
        return true;
    }

    void closeBatch() override { wl_display_flush(connection->display()); }

    void press(std::uint32_t k) override { key(k, true); }
    void release(std::uint32_t k) override { key(k, false); }
    void modifiersHeld(std::uint32_t held) override { modifiers(maskOf(held)); }
    void sync() override { connection->roundtrip(); }
    bool connectionLost() override { return connection->broken(); }
    std::string connectionLostDescription() const override { return "the Wayland display closed"; }
};

VirtualKeyboard::VirtualKeyboard(std::unique_ptr<State> state) : d_(std::move(state)) {}

VirtualKeyboard::~VirtualKeyboard() = default;

void VirtualKeyboard::setStopKey(StopKey* stop) {
    d_->engine.setStopKey(stop);
}

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::connect(const char* display,
                                                          const char* xDisplay) {
    auto d = std::make_unique<State>();
    d->connection = WaylandConnection::connect(display);
    if (!d->connection || !d->connection->seat()) return nullptr;
    zwp_virtual_keyboard_manager_v1* manager = d->connection->keyboardManager();
    if (!manager) return nullptr;
    d->keymap = OwnKeymap::create();
    if (!d->keymap) return nullptr;
    d->keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, d->connection->seat());
    if (!d->connection->roundtrip()) return nullptr;
    d->active = ActiveToplevel::start(*d->connection);
    // The socket's path, as clients find it.
    std::string socket =
        display ? display
                : (std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0");
    if (socket.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        socket = std::string(runtime ? runtime : "") + "/" + socket;
    }
    d->backlog = posix::SocketBacklog::open(socket);
    if (!xDisplay) xDisplay = std::getenv("DISPLAY");
    if (xDisplay) d->xDisplay = xDisplay;
    return std::unique_ptr<VirtualKeyboard>(new VirtualKeyboard(std::move(d)));
}

void VirtualKeyboard::type(const KeySequence& keys) {
    d_->engine.type(keys);
}

}  // namespace tarn::wayland
