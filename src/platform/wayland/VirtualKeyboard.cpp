// SPDX-License-Identifier: GPL-3.0-or-later
#include "VirtualKeyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "Failure.h"
#include "KeySymOfKey.h"
#include "OwnKeymap.h"
#include "StopKey.h"
#include "WaylandConnection.h"
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
// With a stop key to ask, the events typed between two questions.
constexpr std::size_t kStopCheckEvery = 64;
// The events sent between two round trips: the compositor passes keys on as
// it reads them, and a client that reads slowly must not see its queue
// overflow, which the compositor answers by disconnecting it.
constexpr std::size_t kPaceEvery = 256;

[[noreturn]] void cannotType() {
    throw runtimeFailure(kInvalidArgument);
}

// One event of the sequence, resolved against the keymap.
struct Step {
    enum class Kind { Modifier, Key };
    Kind kind = Kind::Key;
    bool press = true;
    std::uint32_t modifier = 0;             // Kind::Modifier: its mask
    OwnKeymap::Place place;                 // Kind::Key on the US layout (keycode != 0)
    xkb_keysym_t spare = XKB_KEY_NoSymbol;  // Kind::Key through a binding
    bool capsLock = false;
    bool stopKey = false;
};

}  // namespace

struct VirtualKeyboard::State {
    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<OwnKeymap> keymap;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    // The seat's keyboard as this client sees it: it hears of every keymap
    // the seat hands on to clients.
    wl_keyboard* seatKeyboard = nullptr;
    std::uint64_t keymapsAnnounced = 0;
    std::uint64_t uploaded = ~std::uint64_t{0};  // the keymap generation uploaded last
    std::uint32_t locked = 0;                    // this keyboard's locked modifiers
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    StopKey* stop = nullptr;

    ~State() {
        if (seatKeyboard) wl_keyboard_destroy(seatKeyboard);
        if (keyboard) zwp_virtual_keyboard_v1_destroy(keyboard);
        keymap.reset();
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
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
            kClientCompileFactor * compileTime, kKeymapTimeout));
        return !connection->broken();
    }

    // Sends what is queued, waiting for room when the socket is full.
    void pace() {
        if (!connection->roundtrip()) cannotType();
    }
};

VirtualKeyboard::VirtualKeyboard(std::unique_ptr<State> state) : d_(std::move(state)) {}

VirtualKeyboard::~VirtualKeyboard() = default;

void VirtualKeyboard::setStopKey(StopKey* poKey) {
    d_->stop = poKey;
}

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::connect(const char* display) {
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
    return std::unique_ptr<VirtualKeyboard>(new VirtualKeyboard(std::move(d)));
}

void VirtualKeyboard::type(const KeySequence& keys) {
    if (keys.empty()) return;
    State& d = *d_;
    if (d.connection->broken()) cannotType();
    OwnKeymap& keymap = *d.keymap;

    // Resolve every event before typing any, so that a key that cannot be
    // typed fails the whole sequence with nothing typed.
    std::vector<Step> steps;
    steps.reserve(keys.size());
    for (const KeyEvent& event : keys) {
        Step step;
        step.press = event.type == KeyEvent::Type::Press;
        if (event.key == Key::Shift || event.key == Key::Control || event.key == Key::Alt) {
            step.kind = Step::Kind::Modifier;
            step.modifier = event.key == Key::Shift     ? keymap.shiftMask()
                            : event.key == Key::Control ? keymap.controlMask()
                                                        : keymap.altMask();
            steps.push_back(step);
            continue;
        }
        const OwnKeymap::Place* place = nullptr;
        xkb_keysym_t keysym = XKB_KEY_NoSymbol;
        if (event.key == Key::Character) {
            const char32_t c = event.character;
            if (!isTypeableCharacter(c)) cannotType();
            // A line break in the text is the Enter key, as in an editor.
            if (c == U'\n' || c == U'\r') {
                keysym = XKB_KEY_Return;
            } else {
                place = keymap.findCharacter(c);
                keysym = xkb_utf32_to_keysym(c);
                if (!place && keysym == XKB_KEY_NoSymbol) cannotType();
            }
        } else {
            keysym = keysymOf(event.key);
            if (keysym == XKB_KEY_NoSymbol) cannotType();
            step.capsLock = event.key == Key::CapsLock;
            step.stopKey = event.key == StopKey::kKey;
        }
        if (!place) place = keymap.findKeysym(keysym);
        step.place = place ? *place : OwnKeymap::Place{};
        step.spare = place ? XKB_KEY_NoSymbol : keysym;
        steps.push_back(step);
    }
    if (keymap.capacity() == 0 && std::any_of(steps.begin(), steps.end(), [](const Step& s) {
            return s.spare != XKB_KEY_NoSymbol;
        })) {
        cannotType();
    }

    std::vector<std::uint32_t> down;  // keycodes this sequence holds, in press order
    std::uint32_t heldMask = 0;       // the modifiers announced as held
    int capsToggles = 0;
    bool stopSuspended = false;
    const std::uint32_t lockedBefore = d.locked;
    auto isDown = [&](std::uint32_t keycode) {
        return std::find(down.begin(), down.end(), keycode) != down.end();
    };
    auto press = [&](std::uint32_t keycode) {
        d.key(keycode, true);
        down.push_back(keycode);
    };
    auto release = [&](std::uint32_t keycode) {
        auto at = std::find(down.begin(), down.end(), keycode);
        if (at == down.end()) return;
        down.erase(at);
        d.key(keycode, false);
    };
    const std::pair<std::uint32_t, std::uint32_t> roles[] = {
        {keymap.shiftKey(), keymap.shiftMask()},
        {keymap.controlKey(), keymap.controlMask()},
        {keymap.altKey(), keymap.altMask()}};
    auto holdModifiers = [&](std::uint32_t mask) {
        for (const auto& [keycode, roleMask] : roles) {
            const bool want = (mask & roleMask) != 0;
            if (want && !isDown(keycode)) press(keycode);
            if (!want && isDown(keycode)) release(keycode);
        }
        if (mask != heldMask) {
            heldMask = mask;
            d.modifiers(mask);
        }
    };
    auto finish = [&] {
        while (!down.empty())
            release(down.back());
        if (capsToggles % 2)
            d.locked = lockedBefore ^ keymap.capsMask();
        else
            d.locked = lockedBefore;
        d.modifiers(0);
        if (stopSuspended) d.stop->resume();
        d.connection->roundtrip();
    };

    try {
        // Typing goes on without Caps Lock, which only a {CAPSLOCK} of the
        // sequence changes, at its end.
        d.locked = lockedBefore & ~keymap.capsMask();
        if (d.uploaded != keymap.generation()) {
            if (!d.upload()) cannotType();
        } else if (lockedBefore != d.locked) {
            d.modifiers(0);
        }
        std::uint32_t sequenceMask = 0;
        std::size_t sent = 0;
        std::size_t i = 0;
        bool stopped = false;
        while (i < steps.size() && !stopped) {
            // A segment: as many steps as their distinct characters to bind
            // fit on the keymap; usually the whole sequence.
            std::vector<xkb_keysym_t> needed;
            const std::size_t end = segmentEnd(steps, i, keymap.capacity(), needed);
            if (!needed.empty()) {
                // Keys bound for this segment must not be down while their
                // keycodes change.
                for (std::uint32_t keycode : std::vector<std::uint32_t>(down)) {
                    if (std::none_of(std::begin(roles), std::end(roles),
                                     [&](const auto& r) { return r.first == keycode; })) {
                        release(keycode);
                    }
                }
                if (!keymap.bind(needed)) cannotType();
                if (d.uploaded != keymap.generation() && !d.upload()) cannotType();
            }
            for (; i < end; ++i) {
                ++sent;
                if (d.stop && sent % kStopCheckEvery == 0 && d.stop->pressed()) {
                    stopped = true;
                    break;
                }
                if (sent % kPaceEvery == 0) d.pace();
                const Step& step = steps[i];
                if (step.kind == Step::Kind::Modifier) {
                    if (step.press)
                        sequenceMask |= step.modifier;
                    else
                        sequenceMask &= ~step.modifier;
                    holdModifiers(sequenceMask);
                    continue;
                }
                OwnKeymap::Place place = step.place;
                if (step.spare != XKB_KEY_NoSymbol) {
                    place = *keymap.findBound(step.spare);
                    keymap.touch(step.spare);
                }
                if (step.press) {
                    holdModifiers(sequenceMask | (place.shift ? keymap.shiftMask() : 0));
                    if (isDown(place.keycode)) release(place.keycode);
                    if (step.stopKey && d.stop && !stopSuspended) {
                        d.stop->suspend();
                        stopSuspended = true;
                    }
                    press(place.keycode);
                } else {
                    release(place.keycode);
                    if (step.stopKey && stopSuspended) {
                        d.pace();
                        d.stop->resume();
                        stopSuspended = false;
                    }
                    if (step.capsLock) ++capsToggles;
                }
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (d.connection->broken()) cannotType();
}

}  // namespace tarn::wayland
