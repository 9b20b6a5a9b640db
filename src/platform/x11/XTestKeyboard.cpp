// SPDX-License-Identifier: GPL-3.0-or-later
#include "XTestKeyboard.h"

#include <poll.h>
#include <sys/uio.h>
#include <xcb/record.h>
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
// xkb.h names a member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
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
#include "TypingEngine.h"
#include "XProgramIdle.h"
#include "XcbReply.h"

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
// Where the target answers no ping and cannot be seen waiting for input with
// its keys handled (XProgramIdle.h), this stands in for the answer that it
// has handled the keys typed through a keycode about to change.
constexpr milliseconds kUnhandledDelay{500};
// The longest wait for another run to give back spare keycodes.
constexpr milliseconds kBusyTimeout{5000};
// The events typed while the server is held for one batch: the server serves
// no other client meanwhile (a batch of kBatch events holds it for about 7 ms
// on Xvfb), and each batch costs two round trips (the target confirmed, the
// server let go). The target still gets its events while the server is held,
// and handles them unless it needs an answer from the server: xterm needs a
// dozen for its first keys, which the first batch, kept short, lets it have
// before the wait below. Against a raw XTest loop into xterm, median of 40
// runs in one: 256 events a batch typed at 0.89 of its speed, 1,024 at 1.02;
// in another 40 runs 512 at 0.97, 1,024 at 0.99, 2,048 at 1.04.
constexpr std::size_t kFirstBatch = 64;
constexpr std::size_t kBatch = 1024;
// The longest wait, once in a Send, for the target to handle its first batch.
constexpr milliseconds kFirstBatchHandled{100};

[[noreturn]] void cannotType() {
    throw runtimeFailure(kInvalidArgument);
}

xcb_intern_atom_cookie_t internAtom(xcb_connection_t* c, const char* name) {
    return xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
}

xcb_atom_t atomOf(xcb_connection_t* c, xcb_intern_atom_cookie_t cookie) {
    Reply<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(c, cookie, nullptr)};
    return reply ? reply->atom : XCB_NONE;
}

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

}  // namespace

struct XTestKeyboard::Connection : typing::TypingPort {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::int32_t device = -1;
    std::uint8_t xkbEventBase = 0;
    xkb_context* context = nullptr;
    std::unique_ptr<KeyboardLayout> layout;
    // The symbols as found, read when the first spare keycode is bound and
    // dropped once every binding is restored.
    std::unique_ptr<KeySymMaps> keySyms;
    // Started with the first change of the map: a Send of characters the
    // layout has needs neither the second connection nor its thread.
    std::unique_ptr<KeymapReaders> readers;
    bool readersTried = false;
    std::string displayName;  // empty: $DISPLAY
    // The map changes this connection made before the record began, which
    // the record does not count.
    std::uint64_t changesBeforeRecord = 0;
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
    // The windows those keys went to, which must have handled them too.
    std::set<xcb_window_t> owedWindows;
    // Sees those that answer no ping handle them; opened when first needed.
    std::unique_ptr<XProgramIdle> idle;
    bool idleTried = false;
    bool layoutStale = false;
    xcb_atom_t protocolsAtom = XCB_NONE;
    xcb_atom_t pingAtom = XCB_NONE;
    std::uint32_t pingCookie = 0;
    std::vector<std::uint32_t> pongs;
    std::chrono::steady_clock::time_point lastTyped;

    // The sequence under way: the keyboard's state as found, and its target.
    Reply<xcb_xkb_get_state_reply_t> state;
    Reply<xcb_query_keymap_reply_t> pressed;
    std::vector<xcb_keycode_t> userHeld;
    std::uint8_t clearedLocks = 0;
    std::uint8_t clearedLatches = 0;
    xcb_window_t target = XCB_NONE;
    std::uint32_t targetClient = 0;
    // The target's process, looked up once in a sequence (-1: not yet).
    pid_t targetProcess = -1;
    std::size_t batchesOpened = 0;
    // The focus window whose revert mode a batch set to none, and the mode
    // it had; none while the mode is the user's.
    xcb_window_t focused = XCB_NONE;
    std::uint8_t revertTo = XCB_INPUT_FOCUS_POINTER_ROOT;
    typing::TypingEngine engine{*this};

    ~Connection() override {
        readers.reset();
        keySyms.reset();
        layout.reset();
        if (context) xkb_context_unref(context);
        if (c) xcb_disconnect(c);
    }

    bool broken() const { return xcb_connection_has_error(c) != 0; }

    std::uint32_t clientOf(xcb_window_t window) const {
        return window & ~xcb_get_setup(c)->resource_id_mask;
    }

    void fake(std::uint8_t type, xcb_keycode_t keycode) {
        xcb_test_fake_input(c, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    // Binds and restores spare keycodes, in one map change.
    void writeKeys(const std::vector<std::pair<xcb_keycode_t, xkb_keysym_t>>& bind,
                   const std::vector<xcb_keycode_t>& restore) {
        if (bind.empty() && restore.empty()) return;
        startRecording();
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
            x11::sync(c);
            borrowed->release(restore);
        }
    }

    // From here on, every change of the map this connection makes is one
    // that the record counts too (KeymapReaders.h).
    void startRecording() {
        if (readersTried) return;
        readersTried = true;
        readers = KeymapReaders::start(displayName.empty() ? nullptr : displayName.c_str(), c);
        changesBeforeRecord = changesIssued;
    }

    // Gives back the keycodes that runs of this host which have ended left
    // bound (killed in the middle of a Send), and lets go the keys such a run
    // left down, which would otherwise repeat into whatever has the focus.
    // Only while this keyboard holds no binding itself. True when the map
    // changed; the layout is read anew.
    bool reclaimAbandoned() {
        if (!bindings.empty()) return false;
        const BorrowedKeys::Abandoned abandoned = borrowed->takeAbandoned();
        if (abandoned.keysMayBeDown) releaseKeysDown();
        if (abandoned.keycodes.empty()) return false;
        std::unique_ptr<KeySymMaps> maps = KeySymMaps::read(c, device);
        if (!maps) return false;
        std::vector<xcb_keycode_t> keycodes;
        for (const auto& [keycode, symbols] : abandoned.keycodes) {
            maps->setOriginal(keycode, symbols);
            keycodes.push_back(keycode);
        }
        maps->write(c, device, {}, keycodes);
        ++changesIssued;
        x11::sync(c);
        layout = KeyboardLayout::read(c, context, device);
        return true;
    }

    void releaseKeysDown() {
        Reply<xcb_query_keymap_reply_t> keys{
            xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr)};
        if (!keys) return;
        for (int keycode = 8; keycode < 256; ++keycode) {
            if ((keys->keys[keycode / 8] >> (keycode % 8)) & 1)
                fake(XCB_KEY_RELEASE, static_cast<xcb_keycode_t>(keycode));
        }
        x11::sync(c);
    }

    // Reads the map again when the server has announced a change since the
    // last reading (our own bindings included).
    void refreshLayout() {
        drainEvents();
        if (layoutStale || !layout) {
            layoutStale = false;
            layout.reset();
            layout = KeyboardLayout::read(c, context, device);
        }
    }

    // Takes in what the server has sent: changes of the keyboard map, and
    // answers to pings.
    void drainEvents() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            Reply<xcb_generic_event_t> owned{event};
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == XCB_MAPPING_NOTIFY) layoutStale = true;
            if (type == xkbEventBase) {
                const std::uint8_t xkbType = reinterpret_cast<std::uint8_t*>(event)[1];
                if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY)
                    layoutStale = true;
            }
            if (type == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->format == 32 && message->data.data32[0] == pingAtom)
                    pongs.push_back(message->data.data32[1]);
            }
        }
    }

    // The window of `window`'s program that takes _NET_WM_PING (it, or the
    // nearest ancestor that is a top-level window); none when it takes none.
    xcb_window_t pingable(xcb_window_t window) {
        for (int depth = 0; window != XCB_NONE && window != root && depth < 16; ++depth) {
            Reply<xcb_get_property_reply_t> protocols{xcb_get_property_reply(
                c, xcb_get_property(c, 0, window, protocolsAtom, XCB_ATOM_ATOM, 0, 64), nullptr)};
            if (protocols && protocols->format == 32) {
                const auto* atoms =
                    static_cast<const xcb_atom_t*>(xcb_get_property_value(protocols.get()));
                const int count = xcb_get_property_value_length(protocols.get()) / 4;
                return std::find(atoms, atoms + count, pingAtom) != atoms + count ? window
                                                                                  : XCB_NONE;
            }
            Reply<xcb_query_tree_reply_t> tree{
                xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr)};
            if (!tree) return XCB_NONE;
            window = tree->parent;
        }
        return XCB_NONE;
    }

    // Returns once the program of `window` has handled every event sent to it
    // before now: it answers a ping only when its event loop gets to it,
    // after the keys queued ahead of it. False when it does not take pings
    // or did not answer in time.
    bool pinged(xcb_window_t window) {
        const xcb_window_t client = pingable(window);
        if (client == XCB_NONE) return false;
        const std::uint32_t cookie = ++pingCookie;
        xcb_client_message_event_t ping{};
        ping.response_type = XCB_CLIENT_MESSAGE;
        ping.format = 32;
        ping.window = client;
        ping.type = protocolsAtom;
        ping.data.data32[0] = pingAtom;
        ping.data.data32[1] = cookie;
        ping.data.data32[2] = client;
        xcb_send_event(c, 0, client, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
        xcb_flush(c);
        const auto deadline = std::chrono::steady_clock::now() + kReadTimeout;
        while (std::chrono::steady_clock::now() < deadline && !broken()) {
            drainEvents();
            if (std::find(pongs.begin(), pongs.end(), cookie) != pongs.end()) {
                pongs.clear();
                return true;
            }
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&fd, 1, 20);
        }
        return false;
    }

    // The process of the client that made `xid` (a window, or a client's
    // resource base), where it can be seen waiting for input
    // (XProgramIdle.h); 0 where it cannot (not a local program, or the
    // kernel does not tell).
    pid_t watchable(std::uint32_t xid) {
        if (!idleTried) {
            idleTried = true;
            idle = XProgramIdle::open(c);
        }
        return idle && xid != 0 ? idle->processOf(xid) : 0;
    }

    // The client that receives the keys: the one owning the focus window, or
    // with the focus following the pointer, the window under it. 0 (any
    // client) when it cannot be told.
    std::uint32_t focusedClient() {
        Reply<xcb_get_input_focus_reply_t> focus{
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)};
        if (!focus) return 0;
        xcb_window_t window = focus->focus;
        if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT) {
            window = root;
            for (int depth = 0; depth < 32; ++depth) {
                Reply<xcb_query_pointer_reply_t> pointer{
                    xcb_query_pointer_reply(c, xcb_query_pointer(c, window), nullptr)};
                if (!pointer || pointer->child == XCB_NONE) break;
                window = pointer->child;
            }
            if (window == root) return 0;
        }
        return clientOf(window);
    }

    void forgetBindings() {
        bindings.clear();
        owed.clear();
        owedWindows.clear();
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
    // Xlib reads a changed map as it takes the notification in, ahead of
    // the key events queued before it that the program has not handled yet:
    // changing a keycode that such a key went through would give the key its
    // new meaning. So a program must first have read the map its keys were
    // typed with, and then handled the keys themselves: a ping says so where
    // the program answers one, the kernel where it shows the program waiting
    // for input; elsewhere a delay stands in for it.
    void letOwedRead() {
        xcb_flush(c);
        // The programs seen waiting for input below: nothing has been typed
        // to them since, so their keys are handled too.
        std::vector<pid_t> seenWaiting;
        for (const auto& [client, changes] : owed) {
            // A target that does not read in time is not waited for again; a
            // record that has ended leaves only the blind delay.
            // Owed changes were all made once the record had begun.
            const std::uint64_t recorded = changes - changesBeforeRecord;
            if (readers && !readers->waitForRead(client, recorded, milliseconds(0), kReadTimeout)) {
                if (readers->recording()) continue;
            } else if (readers) {
                // Its reads come in a burst: it is over once the program is
                // seen waiting for input, or when it has read nothing more
                // for a while.
                const pid_t pid = watchable(client);
                if (pid && idle->waitUntilHandled(pid, kSettle))
                    seenWaiting.push_back(pid);
                else
                    readers->waitForRead(client, recorded, kSettle, kReadTimeout);
                continue;
            }
            x11::sync(c);
            std::this_thread::sleep_for(kBlindDelay);
            break;
        }
        owed.clear();
        bool delayed = false;
        for (xcb_window_t window : owedWindows) {
            if (broken() || delayed) continue;
            const pid_t pid = watchable(window);
            if (pid && std::find(seenWaiting.begin(), seenWaiting.end(), pid) != seenWaiting.end())
                continue;
            if (pinged(window)) continue;
            if (pid) {
                // A program that never waits for input (it animates) has had
                // the time that stands in for seeing it.
                idle->waitUntilHandled(pid, kUnhandledDelay);
                continue;
            }
            x11::sync(c);
            std::this_thread::sleep_for(kUnhandledDelay);
            delayed = true;
        }
        owedWindows.clear();
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
        x11::sync(c);
    }

    // The port of the typing engine.

    void refresh() override {
        refreshLayout();
        if (broken() || !layout) return;
        auto stateCookie = xcb_xkb_get_state(c, XCB_XKB_ID_USE_CORE_KBD);
        auto keymapCookie = xcb_query_keymap(c);
        state.reset(xcb_xkb_get_state_reply(c, stateCookie, nullptr));
        pressed.reset(xcb_query_keymap_reply(c, keymapCookie, nullptr));
        if (!state || !pressed) cannotType();
        const std::uint16_t numLock = layout->numLockMask();
        layout->index(state->group, state->lockedMods & numLock);
        // A keyboard loaded anew (setxkbmap) replaces the bindings too: what
        // it holds then is no longer ours to restore. Read afresh before
        // believing that, so a binding is never forgotten while the server
        // still has it.
        if (!bindingsOnMap()) {
            layout = KeyboardLayout::read(c, context, device);
            if (!layout) cannotType();
            layout->index(state->group, state->lockedMods & numLock);
            if (!bindingsOnMap()) forgetBindings();
        }
    }

    std::optional<typing::KeyPlace> find(char32_t character, xkb_keysym_t keysym) override {
        if (!layout) cannotType();
        const KeyPlace* place = character ? layout->findCharacter(character) : nullptr;
        if (!place) place = layout->findKeysym(keysym);
        // A character an earlier sequence bound is typed through its binding
        // again, whether the map read last shows it or not.
        if (!place || bindings.count(place->keycode)) return std::nullopt;
        std::uint32_t levels = 0;
        if (place->modifiers & layout->shift().mask) levels |= typing::kShift;
        if (layout->level3().keycode && (place->modifiers & layout->level3().mask))
            levels |= typing::kLevel3;
        return typing::KeyPlace{place->keycode, levels};
    }

    std::uint32_t modifierKey(typing::Modifier modifier) override {
        switch (modifier) {
            case typing::kShift:
                return layout->shift().keycode;
            case typing::kControl:
                return layout->control().keycode;
            case typing::kAlt:
                return layout->alt().keycode;
            case typing::kLevel3:
                return layout->level3().keycode;
        }
        return 0;
    }

    // The keycodes characters can be bound to: the spare ones, and those
    // already bound, which may give way.
    std::size_t bindingRoom() override {
        std::size_t room = bindings.size();
        for (xcb_keycode_t keycode : layout->spareKeycodes())
            room += bindings.count(keycode) ? 0 : 1;
        return room;
    }

    // When another run holds every spare keycode, waits a moment for it to
    // give some back (it does once it has not typed for a moment) rather
    // than type a character through a keycode that means another.
    bool reclaim() override {
        if (reclaimAbandoned()) return true;
        if (!borrowed->othersBorrow()) return false;
        const auto deadline = std::chrono::steady_clock::now() + kBusyTimeout;
        while (std::chrono::steady_clock::now() < deadline && !broken()) {
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&fd, 1, 50);
            refreshLayout();
            if (layout && !layout->spareKeycodes().empty()) return true;
        }
        throw Failure(kKeyboardBusy, "Another run of Tarn holds every spare key of the keyboard",
                      kRuntimeSource);
    }

    bool bind(const std::vector<xkb_keysym_t>& keysyms) override {
        if (!keySyms) {
            keySyms = KeySymMaps::read(c, device);
            if (!keySyms) cannotType();
        }
        std::vector<std::pair<xcb_keycode_t, xkb_keysym_t>> toBind;
        bool rebinding = false;
        auto taken = [&](xcb_keycode_t keycode) {
            return std::any_of(toBind.begin(), toBind.end(),
                               [&](const auto& b) { return b.first == keycode; });
        };
        for (xkb_keysym_t keysym : keysyms) {
            if (keycodeFor(keysym)) continue;
            xcb_keycode_t chosen = 0;
            for (xcb_keycode_t keycode : layout->spareKeycodes()) {
                if (!bindings.count(keycode) && !taken(keycode)) {
                    chosen = keycode;
                    break;
                }
            }
            if (!chosen) {
                // The binding used least recently that these keys do not
                // need gives way.
                std::uint64_t oldest = UINT64_MAX;
                for (const auto& [keycode, binding] : bindings) {
                    if (binding.lastUse < oldest && !taken(keycode) &&
                        std::find(keysyms.begin(), keysyms.end(), binding.keysym) ==
                            keysyms.end()) {
                        oldest = binding.lastUse;
                        chosen = keycode;
                    }
                }
                if (!chosen) return false;
                rebinding = true;
            }
            toBind.emplace_back(chosen, keysym);
        }
        // A keycode about to change may still have keys queued at a target;
        // it must have read the map they were typed with.
        if (rebinding) letOwedRead();
        writeKeys(toBind, {});
        for (const auto& [keycode, keysym] : toBind)
            bindings[keycode] = Binding{keysym, 0};
        return true;
    }

    std::optional<typing::KeyPlace> bound(xkb_keysym_t keysym) override {
        const xcb_keycode_t keycode = keycodeFor(keysym);
        if (!keycode) return std::nullopt;
        bindings[keycode].lastUse = ++uses;
        // Until it has read the map, the target may read these keys with
        // another binding.
        std::uint64_t& changes = owed[targetClient];
        changes = std::max(changes, changesIssued);
        if (target != XCB_NONE) owedWindows.insert(target);
        return typing::KeyPlace{keycode, 0};
    }

    void enter(bool resuming) override {
        if (!resuming) {
            batchesOpened = 0;
            target = XCB_NONE;
            targetProcess = -1;
            Reply<xcb_get_input_focus_reply_t> focus{
                xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)};
            if (focus && focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT) target = focus->focus;
            targetClient = target != XCB_NONE ? clientOf(target) : focusedClient();
        }

        const std::uint16_t numLock = layout->numLockMask();
        clearedLocks = state->lockedMods & ~numLock;
        clearedLatches = state->latchedMods;
        userHeld.clear();
        for (xcb_keycode_t keycode : layout->modifierKeycodes()) {
            if ((pressed->keys[keycode / 8] >> (keycode % 8)) & 1) {
                if (std::find(userHeld.begin(), userHeld.end(), keycode) == userHeld.end())
                    userHeld.push_back(keycode);
            }
        }
        for (xcb_keycode_t keycode : userHeld)
            fake(XCB_KEY_RELEASE, keycode);
        if (clearedLocks || clearedLatches) latchLockState(c, clearedLocks, 0, clearedLatches, 0);
    }

    void leave(bool capsLockToggled) override {
        const std::uint8_t caps = capsLockToggled ? layout->lockMask() : 0;
        const std::uint8_t lockAffect = clearedLocks | caps;
        const std::uint8_t lockValue = clearedLocks ^ caps;
        if (lockAffect || clearedLatches)
            latchLockState(c, lockAffect, lockValue, clearedLatches, clearedLatches);
        for (xcb_keycode_t keycode : userHeld)
            fake(XCB_KEY_PRESS, keycode);
        giveFocusRevertBack();
        xcb_flush(c);
        lastTyped = std::chrono::steady_clock::now();
    }

    std::size_t batchSize() const override { return batchesOpened <= 1 ? kFirstBatch : kBatch; }

    // With the server held, nothing but this connection is served until
    // closeBatch(): the target cannot close, hide or lose the focus while the
    // batch's keys reach it, and what the check below sees stays true for the
    // whole batch. A focus that moved on purpose within the program (to a
    // dialog the keys opened) types on.
    //
    // A program may handle the first key it gets with round trips of its own
    // (xterm fetches the keyboard map then), and while the server is held it
    // gets one answer between two batches: it would handle nothing for
    // several batches, and then all of them at once. So the second batch
    // waits until the target is seen waiting for input, once in a Send,
    // which makes a long Send into xterm about a tenth faster.
    bool openBatch() override {
        if (++batchesOpened == 2 && target != XCB_NONE) {
            if (const pid_t pid = processOfTarget())
                idle->waitUntilHandled(pid, kFirstBatchHandled);
        }
        xcb_grab_server(c);
        if (target == XCB_NONE) return true;
        auto focusCookie = xcb_get_input_focus(c);
        auto attributesCookie = xcb_get_window_attributes(c, target);
        Reply<xcb_get_input_focus_reply_t> focus{
            xcb_get_input_focus_reply(c, focusCookie, nullptr)};
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_get_window_attributes_reply_t> attributes{
            xcb_get_window_attributes_reply(c, attributesCookie, &error)};
        Reply<xcb_generic_error_t> freed{error};
        const bool still = focus && attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                           focus->focus != XCB_NONE &&
                           focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT &&
                           clientOf(focus->focus) == clientOf(target);
        if (!still) {
            closeBatch();
            return false;
        }
        // The target may still die within the batch: the server closes a
        // client whose connection it finds gone as it hands it an event.
        // With the focus set to revert to none, the rest of the batch then
        // goes nowhere instead of to the window under the pointer. Setting
        // the focus where it is sends no focus event.
        if (focus->revert_to != XCB_INPUT_FOCUS_NONE) {
            if (focused == XCB_NONE) revertTo = focus->revert_to;
            focused = focus->focus;
            xcb_set_input_focus(c, XCB_INPUT_FOCUS_NONE, focused, XCB_CURRENT_TIME);
        }
        return true;
    }

    // The focus reverts as it did before the sequence, if it is still where
    // the sequence left it.
    void giveFocusRevertBack() {
        if (focused == XCB_NONE) return;
        Reply<xcb_get_input_focus_reply_t> focus{
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)};
        if (focus && focus->focus == focused && focus->revert_to == XCB_INPUT_FOCUS_NONE)
            xcb_set_input_focus(c, revertTo, focused, XCB_CURRENT_TIME);
        focused = XCB_NONE;
    }

    // The round trip after letting the server go is the other clients'
    // turn: without it the next grab can follow at once, and the desktop
    // (the window manager, the target drawing what it got, a program that
    // closed) would wait for the whole Send.
    void closeBatch() override {
        xcb_ungrab_server(c);
        // The next batch waits for the target to handle this first one: its
        // process is looked up while the server hands these keys over.
        if (batchesOpened == 1 && target != XCB_NONE) {
            xcb_flush(c);
            processOfTarget();
        }
        x11::sync(c);
    }

    pid_t processOfTarget() {
        if (targetProcess < 0) targetProcess = watchable(target);
        return targetProcess;
    }

    void press(std::uint32_t key) override { fake(XCB_KEY_PRESS, static_cast<xcb_keycode_t>(key)); }
    void release(std::uint32_t key) override {
        fake(XCB_KEY_RELEASE, static_cast<xcb_keycode_t>(key));
    }
    void capsLockTyped() override { latchLockState(c, layout->lockMask(), 0, 0, 0); }
    void sync() override { x11::sync(c); }
    bool connectionLost() override { return broken(); }
    std::string connectionLostDescription() const override { return "the X display closed"; }
};

XTestKeyboard::XTestKeyboard(std::unique_ptr<Connection> connection) : d_(std::move(connection)) {}

XTestKeyboard::~XTestKeyboard() {
    d_->restore();
    if (!d_->broken()) d_->borrowed->releaseTypist();
}

void XTestKeyboard::setStopKey(StopKey* stop) {
    d_->engine.setStopKey(stop);
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
    // Asked for together, in one round trip: a Send's first keys wait for
    // all of this. X-Resource serves the watch on the target, RECORD the
    // first binding.
    for (xcb_extension_t* extension : {&xcb_test_id, &xcb_xkb_id, &xcb_res_id, &xcb_record_id})
        xcb_prefetch_extension_data(d->c, extension);

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
    // Programs answer a ping on the root window.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(d->c, d->root, XCB_CW_EVENT_MASK, &rootEvents);
    auto protocols = internAtom(d->c, "WM_PROTOCOLS");
    auto ping = internAtom(d->c, "_NET_WM_PING");
    d->protocolsAtom = atomOf(d->c, protocols);
    d->pingAtom = atomOf(d->c, ping);
    d->borrowed = std::make_unique<BorrowedKeys>(d->c, d->root);
    d->reclaimAbandoned();
    d->borrowed->recordTypist();
    if (!d->layout) d->layout = KeyboardLayout::read(d->c, d->context, d->device);
    if (!d->layout) return nullptr;
    if (display) d->displayName = display;
    if (d->broken()) return nullptr;
    return std::unique_ptr<XTestKeyboard>(new XTestKeyboard(std::move(d)));
}

void XTestKeyboard::type(const KeySequence& keys) {
    d_->engine.type(keys);
}

}  // namespace tarn::x11
