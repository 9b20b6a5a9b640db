// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the typing engine (TypingEngine.h) needs from a desktop: keys to press
// and release, where the layout has a character, room to bind the characters it
// lacks, the locks and held keys to clear and put back, and word of the target
// and the connection. Each keyboard backend implements this once; the plan of
// typing (resolving, segments, held modifiers, stop and target checks, the
// release of every key whatever happens) is the engine's alone.
//
// Keys are the port's own numbers (a keycode on X11 and Wayland, a keysym
// where the desktop takes keysyms); 0 is no key.

#include <xkbcommon/xkbcommon.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarn::typing {

// The modifiers the engine holds: those the notation names, and the level
// modifiers a key needs to give its symbol.
enum Modifier : std::uint32_t {
    kShift = 1u << 0,
    kControl = 1u << 1,
    kAlt = 1u << 2,
    kLevel3 = 1u << 3,  // AltGr
};
inline constexpr Modifier kModifiers[] = {kShift, kControl, kAlt, kLevel3};

// A key and the level modifiers to hold with it.
struct KeyPlace {
    std::uint32_t key = 0;
    std::uint32_t modifiers = 0;
};

class TypingPort {
  public:
    virtual ~TypingPort() = default;

    // Called first in every sequence: brings the view of the layout and of
    // the lock state up to date. The find functions answer from it.
    virtual void refresh() = 0;

    // Where the layout has the character (0: none asked) or else the keysym,
    // without a binding of the port's own; nothing when it lacks both.
    virtual std::optional<KeyPlace> find(char32_t character, xkb_keysym_t keysym) = 0;
    // The key that sets a modifier; 0 when the layout has none.
    virtual std::uint32_t modifierKey(Modifier modifier) = 0;

    // How many keysyms can be bound at once; 0 when the port binds none.
    virtual std::size_t bindingRoom() = 0;
    // Gives back what runs that were killed left bound. True when that
    // changed the layout, so that what was found before must be found anew.
    virtual bool reclaim() { return false; }
    // Makes every keysym of `keysyms` typeable through a binding, keeping the
    // bindings it already has where room allows, and returns once the target
    // can read keys typed through them (bounded). No key the engine holds is
    // bound to a keysym at the time. False, nothing changed, when they do not
    // fit.
    virtual bool bind(const std::vector<xkb_keysym_t>& keysyms) = 0;
    // Where a keysym is bound (it counts as used just now); nothing when it
    // is not.
    virtual std::optional<KeyPlace> bound(xkb_keysym_t keysym) = 0;

    // Takes the window that has the focus now as the target of the sequence,
    // and clears for typing what would change the keys: locks, latches and
    // modifier keys the user holds. leave() puts them back, Caps Lock
    // toggled when the sequence typed it an odd number of times.
    // `resuming`: the program was stopped in the middle of the sequence
    // (leave() was called before) and is continued; the target stays the
    // one taken first, and the rest is cleared anew from the state now.
    virtual void enter(bool resuming) = 0;
    virtual void leave(bool capsLockToggled) = 0;

    // The engine types in batches of up to batchSize() events. openBatch()
    // makes sure the target still has the focus, is shown and exists, and
    // returns false when it does not: on a desktop that allows it, so that no
    // event of the batch can reach another window (the X server is held for
    // the batch); elsewhere as closely as the desktop tells. It also waits
    // until the target keeps up with what it was sent. closeBatch() sends
    // what the batch queued and lets the desktop go on.
    virtual std::size_t batchSize() const = 0;
    virtual bool openBatch() = 0;
    virtual void closeBatch() = 0;

    virtual void press(std::uint32_t key) = 0;
    virtual void release(std::uint32_t key) = 0;
    // The modifiers held from now on, for desktops that must be told along
    // with the keys.
    virtual void modifiersHeld(std::uint32_t /*modifiers*/) {}
    // The Caps Lock key has just been typed: typing goes on without the lock.
    virtual void capsLockTyped() {}

    // Returns once the desktop has handled everything sent so far.
    virtual void sync() = 0;
    // Whether the connection to the desktop is gone, and the failure's
    // description then ("the X display closed").
    virtual bool connectionLost() = 0;
    virtual std::string connectionLostDescription() const = 0;
};

}  // namespace tarn::typing
