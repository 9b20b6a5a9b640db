// SPDX-License-Identifier: GPL-3.0-or-later
#include "XTestKeyboard.h"

#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
// xkb.h names a member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "BorrowedKeys.h"
#include "Failure.h"
#include "KeySymMaps.h"
#include "KeySymOfKey.h"
#include "KeyboardLayout.h"
#include "KeymapReaders.h"
#include "StopKey.h"

namespace tarn::x11 {
namespace {

using std::chrono::milliseconds;

// How long a target must have left the keyboard map alone, after reading it,
// before a binding it read may change. Clients read the map in a burst of
// round trips when they handle a notification (several notifications for one
// change); this spans the gaps inside such a burst with a wide margin.
constexpr milliseconds kSettle{100};
// The longest wait for the target to read a binding. A target that never
// reads the map (it ignores keys, or has hung) costs this much once per
// change, no more.
constexpr milliseconds kReadTimeout{2000};
// Without the RECORD extension nothing says when the target has read the map;
// this delay after the server has handled the keys stands in for it.
constexpr milliseconds kBlindDelay{250};
// With a stop key to ask, the events typed between two questions: small
// enough that a stop ends a long Send at once, large enough that the round
// trip each question costs stays negligible.
constexpr std::size_t kStopCheckEvery = 64;

[[noreturn]] void cannotType() {
    throw runtimeFailure(kInvalidArgument);
}

[[noreturn]] void displayClosed() {
    throw Failure(kDisplayClosed, "the X display closed", kRuntimeSource);
}

template <class T>
struct Freed {
    T* p = nullptr;
    ~Freed() { std::free(p); }
};

// LatchLockState with the latched modifiers to set, which the generated
// binding cannot send (it names that byte padding).
void latchLockState(xcb_connection_t* c, std::uint8_t affectLocks, std::uint8_t locks,
                    std::uint8_t affectLatches, std::uint8_t latches) {
    xcb_xkb_latch_lock_state_request_t request{};
    request.deviceSpec = XCB_XKB_ID_USE_CORE_KBD;
    request.affectModLocks = affectLocks;
    request.modLocks = locks;
    request.affectModLatches = affectLatches;
    request.pad0 = latches;
    static const xcb_protocol_request_t protocol = {/*count=*/2, &xcb_xkb_id,
                                                    XCB_XKB_LATCH_LOCK_STATE, /*isvoid=*/1};
    static const char padding[4] = {};
    struct iovec parts[4];
    parts[2].iov_base = &request;
    parts[2].iov_len = sizeof request;
    parts[3].iov_base = const_cast<char*>(padding);
    parts[3].iov_len = -sizeof request & 3;
    xcb_send_request(c, 0, parts + 2, &protocol);
}

// One event of the sequence, resolved against the current map.
struct Step {
    enum class Kind { Modifier, Key };
    Kind kind = Kind::Key;
    bool press = true;
    const ModifierKey* modifier = nullptr;  // Kind::Modifier
    KeyPlace place;                         // Kind::Key on the map (keycode != 0)
    xkb_keysym_t spare = XKB_KEY_NoSymbol;  // Kind::Key through a spare keycode
    bool capsLock = false;                  // the Caps Lock key itself
    bool stopKey = false;                   // the emergency stop's key
};

}  // namespace

struct XTestKeyboard::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::int32_t device = -1;
    std::uint8_t xkbEventBase = 0;
    xkb_context* context = nullptr;
    std::unique_ptr<KeyboardLayout> layout;
    // The symbols as found, read when the first spare keycode is bound and
    // dropped once every binding is restored.
    std::unique_ptr<KeySymMaps> keySyms;
    std::unique_ptr<KeymapReaders> readers;
    std::unique_ptr<BorrowedKeys> borrowed;
    std::uint64_t changesIssued = 0;

    // Spare keycodes bound to characters, kept from one sequence to the next.
    struct Binding {
        xkb_keysym_t keysym = XKB_KEY_NoSymbol;
        std::uint64_t lastUse = 0;
    };
    std::map<xcb_keycode_t, Binding> bindings;
    std::uint64_t uses = 0;
    // The clients that were typed keys through a binding, each with the count
    // of map changes it must have read before a bound keycode may change.
    std::unordered_map<std::uint32_t, std::uint64_t> owed;
    std::chrono::steady_clock::time_point lastTyped;
    StopKey* stop = nullptr;

    ~Connection() {
        readers.reset();
        keySyms.reset();
        layout.reset();
        if (context) xkb_context_unref(context);
        if (c) xcb_disconnect(c);
    }

    bool broken() const { return xcb_connection_has_error(c) != 0; }

    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    // The window that has the keyboard focus; none when the focus follows
    // the pointer or is nowhere.
    xcb_window_t focusWindow() {
        Freed<xcb_get_input_focus_reply_t> focus{
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)};
        if (!focus.p || focus.p->focus == XCB_INPUT_FOCUS_POINTER_ROOT) return XCB_NONE;
        return focus.p->focus;
    }

    // A round trip, like sync(), that also tells whether the window is gone.
    bool destroyed(xcb_window_t window) {
        if (window == XCB_NONE) {
            sync();
            return false;
        }
        xcb_generic_error_t* error = nullptr;
        Freed<xcb_get_window_attributes_reply_t> attributes{
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &error)};
        const bool gone = error && error->error_code == XCB_WINDOW;
        std::free(error);
        return gone;
    }

    void fake(std::uint8_t type, xcb_keycode_t keycode) {
        xcb_test_fake_input(c, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    // Binds and restores spare keycodes, in one map change.
    void writeKeys(const std::vector<std::pair<xcb_keycode_t, xkb_keysym_t>>& bind,
                   const std::vector<xcb_keycode_t>& restore) {
        if (bind.empty() && restore.empty()) return;
        // Word of a borrowed keycode is on the display before the keycode is
        // changed, so that a run killed at any point leaves it behind.
        std::vector<std::pair<xcb_keycode_t, BorrowedKeys::Symbols>> borrowing;
        for (const auto& entry : bind) {
            if (!bindings.count(entry.first))
                borrowing.emplace_back(entry.first, keySyms->original(entry.first));
        }
        borrowed->record(borrowing);
        keySyms->write(c, device, bind, restore);
        ++changesIssued;
        if (!restore.empty()) {
            sync();
            borrowed->release(restore);
        }
    }

    // Gives back the keycodes that runs of this host which no longer exist
    // left bound (killed in the middle of a Send). Only while this keyboard
    // holds none itself. True when the map changed; the layout is read anew.
    bool reclaimAbandoned() {
        if (!bindings.empty()) return false;
        const auto abandoned = borrowed->takeAbandoned();
        if (abandoned.empty()) return false;
        std::unique_ptr<KeySymMaps> maps = KeySymMaps::read(c, device);
        if (!maps) return false;
        std::vector<xcb_keycode_t> keycodes;
        for (const auto& [keycode, symbols] : abandoned) {
            maps->setOriginal(keycode, symbols);
            keycodes.push_back(keycode);
        }
        maps->write(c, device, {}, keycodes);
        sync();
        layout = KeyboardLayout::read(c, context, device);
        return true;
    }

    // Reads the map again when the server has announced a change since the
    // last reading (our own bindings included).
    void refreshLayout() {
        bool changed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == XCB_MAPPING_NOTIFY) changed = true;
            if (type == xkbEventBase) {
                const std::uint8_t xkbType = reinterpret_cast<std::uint8_t*>(event)[1];
                if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY) {
                    changed = true;
                }
            }
            std::free(event);
        }
        if (changed || !layout) {
            layout.reset();
            layout = KeyboardLayout::read(c, context, device);
        }
    }

    // The client that receives the keys: the one owning the focus window, or
    // with the focus following the pointer, the window under it. 0 (any
    // client) when it cannot be told.
    std::uint32_t targetClient() {
        Freed<xcb_get_input_focus_reply_t> focus{
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)};
        if (!focus.p) return 0;
        xcb_window_t window = focus.p->focus;
        if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT) {
            window = root;
            for (int depth = 0; depth < 32; ++depth) {
                Freed<xcb_query_pointer_reply_t> pointer{
                    xcb_query_pointer_reply(c, xcb_query_pointer(c, window), nullptr)};
                if (!pointer.p || pointer.p->child == XCB_NONE) break;
                window = pointer.p->child;
            }
            if (window == root) return 0;
        }
        return window & ~xcb_get_setup(c)->resource_id_mask;
    }

    void forgetBindings() {
        bindings.clear();
        owed.clear();
        keySyms.reset();
    }

    // Whether the map read last has each binding where it was made.
    bool bindingsOnMap() const {
        for (const auto& [keycode, binding] : bindings) {
            const KeyPlace* place = layout->findKeysym(binding.keysym);
            if (!place || place->keycode != keycode) return false;
        }
        return true;
    }

    xcb_keycode_t keycodeFor(xkb_keysym_t keysym) const {
        for (const auto& [keycode, binding] : bindings) {
            if (binding.keysym == keysym) return keycode;
        }
        return 0;
    }

    // Returns once every client typed to through a binding has read the map
    // those keys were typed with, or the waits above have run out.
    void letOwedRead() {
        xcb_flush(c);
        for (const auto& [client, changes] : owed) {
            // A target that does not read in time is not waited for again; a
            // record that has ended leaves only the blind delay.
            if (readers && (readers->waitForRead(client, changes, kSettle, kReadTimeout) ||
                            readers->recording())) {
                continue;
            }
            sync();
            std::this_thread::sleep_for(kBlindDelay);
            break;
        }
        owed.clear();
    }

    // Every bound keycode gets its symbols back, in one map change.
    void restore() {
        if (bindings.empty()) return;
        if (broken()) {
            forgetBindings();
            return;
        }
        letOwedRead();
        std::vector<xcb_keycode_t> keycodes;
        for (const auto& entry : bindings)
            keycodes.push_back(entry.first);
        writeKeys({}, keycodes);
        forgetBindings();
        sync();
    }
};

XTestKeyboard::XTestKeyboard(std::unique_ptr<Connection> connection) : d_(std::move(connection)) {}

XTestKeyboard::~XTestKeyboard() {
    d_->restore();
}

void XTestKeyboard::setStopKey(StopKey* poKey) {
    d_->stop = poKey;
}

void XTestKeyboard::restoreLayout() {
    d_->restore();
}

void XTestKeyboard::restoreLayoutIfIdle(std::chrono::milliseconds idle) {
    if (!d_->bindings.empty() && std::chrono::steady_clock::now() - d_->lastTyped >= idle) {
        d_->restore();
    }
}

std::unique_ptr<XTestKeyboard> XTestKeyboard::connect(const char* display) {
    auto d = std::make_unique<Connection>();
    int screenNumber = 0;
    d->c = xcb_connect(display, &screenNumber);
    if (d->broken()) return nullptr;

    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(d->c, &xcb_test_id);
    if (!xtest || !xtest->present) return nullptr;
    std::uint16_t major = 0, minor = 0;
    std::uint8_t eventBase = 0, errorBase = 0;
    if (!xkb_x11_setup_xkb_extension(
            d->c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, &major, &minor, &eventBase, &errorBase)) {
        return nullptr;
    }
    d->xkbEventBase = eventBase;
    d->device = xkb_x11_get_core_keyboard_device_id(d->c);
    if (d->device < 0) return nullptr;
    d->context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!d->context) return nullptr;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) return nullptr;
    d->root = screens.data->root;

    const std::uint16_t events =
        XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const std::uint16_t parts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events(d->c, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, parts, parts, nullptr);
    d->borrowed = std::make_unique<BorrowedKeys>(d->c, d->root);
    d->reclaimAbandoned();
    if (!d->layout) d->layout = KeyboardLayout::read(d->c, d->context, d->device);
    if (!d->layout) return nullptr;
    d->readers = KeymapReaders::start(display, d->c);
    if (d->broken()) return nullptr;
    return std::unique_ptr<XTestKeyboard>(new XTestKeyboard(std::move(d)));
}

void XTestKeyboard::type(const KeySequence& keys) {
    if (keys.empty()) return;
    Connection& d = *d_;
    if (d.broken()) displayClosed();
    d.refreshLayout();
    if (d.broken()) displayClosed();
    if (!d.layout) cannotType();

    auto stateCookie = xcb_xkb_get_state(d.c, XCB_XKB_ID_USE_CORE_KBD);
    auto keymapCookie = xcb_query_keymap(d.c);
    Freed<xcb_xkb_get_state_reply_t> state{xcb_xkb_get_state_reply(d.c, stateCookie, nullptr)};
    Freed<xcb_query_keymap_reply_t> pressed{xcb_query_keymap_reply(d.c, keymapCookie, nullptr)};
    if (!state.p || !pressed.p) cannotType();
    const std::uint16_t numLock = d.layout->numLockMask();
    d.layout->index(state.p->group, state.p->lockedMods & numLock);
    // A keyboard loaded anew (setxkbmap) replaces the bindings too: what it
    // holds then is no longer ours to restore. Read afresh before believing
    // that, so a binding is never forgotten while the server still has it.
    if (!d.bindingsOnMap()) {
        d.layout = KeyboardLayout::read(d.c, d.context, d.device);
        if (!d.layout) cannotType();
        d.layout->index(state.p->group, state.p->lockedMods & numLock);
        if (!d.bindingsOnMap()) d.forgetBindings();
    }
    const KeyboardLayout& layout = *d.layout;

    // A character that an earlier sequence bound is typed through its binding
    // again, whether the map read above already shows it or not.
    auto throughBinding = [&](Step& step, const KeyPlace* place, xkb_keysym_t keysym) {
        if (place) {
            auto bound = d.bindings.find(place->keycode);
            if (bound == d.bindings.end()) {
                step.place = *place;
                return false;
            }
            keysym = bound->second.keysym;
        }
        step.spare = keysym;
        return true;
    };

    // Resolve every event before typing any, so that a key this display
    // cannot type fails the whole sequence with nothing typed.
    std::vector<Step> steps;
    steps.reserve(keys.size());
    bool needsSpare = false;
    for (const KeyEvent& event : keys) {
        Step step;
        step.press = event.type == KeyEvent::Type::Press;
        if (event.key == Key::Shift || event.key == Key::Control || event.key == Key::Alt) {
            step.kind = Step::Kind::Modifier;
            step.modifier = event.key == Key::Shift     ? &layout.shift()
                            : event.key == Key::Control ? &layout.control()
                                                        : &layout.alt();
            if (step.modifier->keycode == 0) cannotType();
            steps.push_back(step);
            continue;
        }
        const KeyPlace* place = nullptr;
        xkb_keysym_t keysym = XKB_KEY_NoSymbol;
        if (event.key == Key::Character) {
            const char32_t c = event.character;
            if (!isTypeableCharacter(c)) cannotType();
            // A line break in the text is the Enter key, as in an editor.
            if (c == U'\n' || c == U'\r') {
                keysym = XKB_KEY_Return;
                place = layout.findKeysym(keysym);
            } else {
                place = layout.findCharacter(event.character);
                if (!place) {
                    keysym = xkb_utf32_to_keysym(event.character);
                    if (keysym == XKB_KEY_NoSymbol) cannotType();
                    place = layout.findKeysym(keysym);
                }
            }
        } else {
            keysym = keysymOf(event.key);
            if (keysym == XKB_KEY_NoSymbol) cannotType();
            place = layout.findKeysym(keysym);
            step.capsLock = event.key == Key::CapsLock;
            step.stopKey = event.key == StopKey::kKey;
        }
        needsSpare = throughBinding(step, place, keysym) || needsSpare;
        steps.push_back(step);
    }

    // The keycodes characters can be bound to: the spare ones, and those
    // already bound, which may give way.
    std::vector<xcb_keycode_t> pool;
    if (needsSpare) {
        for (xcb_keycode_t keycode : layout.spareKeycodes()) {
            if (!d.bindings.count(keycode)) pool.push_back(keycode);
        }
        for (const auto& entry : d.bindings)
            pool.push_back(entry.first);
        // Another run may have been killed holding them all since this one
        // started: once they are back, the keys are resolved anew.
        if (pool.empty() && d.reclaimAbandoned()) return type(keys);
        if (pool.empty()) cannotType();
        if (!d.keySyms) {
            d.keySyms = KeySymMaps::read(d.c, d.device);
            if (!d.keySyms) cannotType();
        }
    }

    const std::uint32_t target = needsSpare ? d.targetClient() : 0;
    // The keys are the focused window's; should it be destroyed, the rest
    // would go to whatever window the focus passes to next.
    const xcb_window_t focused = d.focusWindow();
    bool focusedDestroyed = false;

    // What typing changes and must put back.
    const std::uint8_t clearedLocks = state.p->lockedMods & ~numLock;
    const std::uint8_t clearedLatches = state.p->latchedMods;
    std::vector<xcb_keycode_t> userHeld;
    for (xcb_keycode_t keycode : layout.modifierKeycodes()) {
        if ((pressed.p->keys[keycode / 8] >> (keycode % 8)) & 1) {
            if (std::find(userHeld.begin(), userHeld.end(), keycode) == userHeld.end()) {
                userHeld.push_back(keycode);
            }
        }
    }
    std::vector<xcb_keycode_t> down;  // keys this sequence holds, in press order
    auto isDown = [&](xcb_keycode_t keycode) {
        return std::find(down.begin(), down.end(), keycode) != down.end();
    };
    auto press = [&](xcb_keycode_t keycode) {
        d.fake(XCB_KEY_PRESS, keycode);
        down.push_back(keycode);
    };
    auto release = [&](xcb_keycode_t keycode) {
        auto at = std::find(down.begin(), down.end(), keycode);
        if (at == down.end()) return;
        down.erase(at);
        d.fake(XCB_KEY_RELEASE, keycode);
    };
    int capsToggles = 0;
    bool stopSuspended = false;
    auto resumeStop = [&] {
        if (!stopSuspended) return;
        // The key must have reached the target before the grab is back.
        d.sync();
        stopSuspended = false;
        d.stop->resume();
    };

    auto finish = [&]() {
        while (!down.empty())
            release(down.back());
        const std::uint8_t lockAffect = clearedLocks | (capsToggles % 2 ? layout.lockMask() : 0);
        const std::uint8_t lockValue = clearedLocks ^ (capsToggles % 2 ? layout.lockMask() : 0);
        if (lockAffect || clearedLatches) {
            latchLockState(d.c, lockAffect, lockValue, clearedLatches, clearedLatches);
        }
        for (xcb_keycode_t keycode : userHeld)
            d.fake(XCB_KEY_PRESS, keycode);
        resumeStop();
        d.sync();
        d.lastTyped = std::chrono::steady_clock::now();
    };

    try {
        for (xcb_keycode_t keycode : userHeld)
            d.fake(XCB_KEY_RELEASE, keycode);
        if (clearedLocks || clearedLatches) latchLockState(d.c, clearedLocks, 0, clearedLatches, 0);

        // The modifier keys down follow what the sequence holds plus what the
        // next key's shift level needs. A level modifier stays down between
        // keys that need it, so "ABC" holds Shift once.
        std::uint16_t sequenceMask = 0;
        const ModifierKey* roles[] = {&layout.shift(), &layout.control(), &layout.alt(),
                                      &layout.level3()};
        auto holdModifiers = [&](std::uint16_t mask) {
            for (const ModifierKey* role : roles) {
                if (!role->keycode) continue;
                const bool want = (mask & role->mask) != 0;
                if (want && !isDown(role->keycode)) press(role->keycode);
                if (!want && isDown(role->keycode)) release(role->keycode);
            }
        };
        // Asked every kStopCheckEvery events, once the server has handled them.
        std::size_t sinceStopCheck = 0;
        auto stopPressed = [&] {
            if (++sinceStopCheck < kStopCheckEvery) return false;
            sinceStopCheck = 0;
            focusedDestroyed = d.destroyed(focused);
            return focusedDestroyed || (d.stop && d.stop->pressed());
        };

        std::size_t i = 0;
        bool stopped = false;
        while (i < steps.size() && !stopped) {
            // A segment: as many steps as their distinct spare symbols fit in
            // the pool; usually the whole sequence.
            std::vector<xkb_keysym_t> needed;
            const std::size_t end = segmentEnd(steps, i, pool.size(), needed);
            std::vector<std::pair<xcb_keycode_t, xkb_keysym_t>> toBind;
            bool rebinding = false;
            auto taken = [&](xcb_keycode_t keycode) {
                return std::any_of(toBind.begin(), toBind.end(),
                                   [&](const auto& b) { return b.first == keycode; });
            };
            for (xkb_keysym_t keysym : needed) {
                if (d.keycodeFor(keysym)) continue;
                xcb_keycode_t chosen = 0;
                for (xcb_keycode_t keycode : pool) {
                    if (!d.bindings.count(keycode) && !taken(keycode)) {
                        chosen = keycode;
                        break;
                    }
                }
                if (!chosen) {
                    // The binding used least recently that this segment does
                    // not need gives way.
                    std::uint64_t oldest = UINT64_MAX;
                    for (const auto& [keycode, binding] : d.bindings) {
                        if (binding.lastUse < oldest && !taken(keycode) && !isDown(keycode) &&
                            std::find(needed.begin(), needed.end(), binding.keysym) ==
                                needed.end()) {
                            oldest = binding.lastUse;
                            chosen = keycode;
                        }
                    }
                    if (!chosen) cannotType();
                    rebinding = true;
                }
                toBind.emplace_back(chosen, keysym);
            }
            // A keycode about to change may still have keys queued at a
            // target; it must have read the map they were typed with.
            if (rebinding) d.letOwedRead();
            d.writeKeys(toBind, {});
            for (const auto& [keycode, keysym] : toBind)
                d.bindings[keycode] = Connection::Binding{keysym, 0};

            for (; i < end; ++i) {
                if (stopPressed()) {
                    stopped = true;
                    break;
                }
                const Step& step = steps[i];
                if (step.kind == Step::Kind::Modifier) {
                    if (step.press) {
                        sequenceMask |= step.modifier->mask;
                    } else {
                        sequenceMask &= static_cast<std::uint16_t>(~step.modifier->mask);
                    }
                    holdModifiers(sequenceMask);
                    continue;
                }
                xcb_keycode_t keycode = step.place.keycode;
                if (!keycode) {
                    keycode = d.keycodeFor(step.spare);
                    d.bindings[keycode].lastUse = ++d.uses;
                    std::uint64_t& changes = d.owed[target];
                    changes = std::max(changes, d.changesIssued);
                }
                if (step.press) {
                    holdModifiers(sequenceMask | step.place.modifiers);
                    if (isDown(keycode)) release(keycode);
                    // The stop key typed here goes to the target, not to the
                    // watch for it.
                    if (step.stopKey && d.stop && !stopSuspended) {
                        d.sync();
                        d.stop->suspend();
                        stopSuspended = true;
                    }
                    press(keycode);
                } else {
                    release(keycode);
                    if (step.stopKey) resumeStop();
                    if (step.capsLock) {
                        // The key toggled Caps Lock; typing goes on without it
                        // and the toggle is applied at the end.
                        ++capsToggles;
                        latchLockState(d.c, layout.lockMask(), 0, 0, 0);
                    }
                }
            }
        }
        xcb_flush(d.c);
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (d.broken()) displayClosed();
    if (focusedDestroyed) {
        throw Failure(kTargetWindowClosed,
                      "The window the keys were typed into was closed before they were all typed",
                      kRuntimeSource);
    }
}

}  // namespace tarn::x11
