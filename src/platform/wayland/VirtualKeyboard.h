// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keystrokes on a Wayland desktop through one virtual keyboard
// (zwp_virtual_keyboard_v1) for the whole run, typed with Tarn's own keymap
// (OwnKeymap.h), so that every character arrives exactly whatever layout the
// user has:
// - the keymap is uploaded before the first key and again only when a Send
//   needs a character it does not hold yet; before the next key the compositor
//   must have handed it on (the seat announces it to every client, this one
//   included, and this waits for that announcement, bounded);
// - characters the keymap lacks are bound where the target sees them: an X11
//   program under XWayland sees keycodes up to 255 only, where 17 are spare,
//   a Wayland program all of them, 91 spare. Each Send asks the X server
//   whether an X program has the focus (one round trip; none asked without
//   XWayland) and binds in the room of the one or the other, so that a macro
//   typing many characters into a Wayland program seldom changes the
//   keymap, and never types an X program's key through a keycode it cannot
//   see;
// - a keycode X programs see whose character gives way to another changes
//   meaning only once the keys typed through it are handled: by an X11
//   program with the focus, as far as the kernel shows (XWaylandQueues.h);
// - the compositor does not track the modifiers of a virtual keyboard itself,
//   so every change of the held modifiers is announced along with the keys;
// - a {CAPSLOCK} leaves Caps Lock toggled on this keyboard, as the user asked;
//   the keys of the same Send are typed without it;
// - the plan of typing is the one engine's (TypingEngine.h); between batches
//   the compositor must have taken what was sent, the window that had the
//   focus as typing began must still have it (failure 1012 otherwise), and
//   the focused program must have read nearly all it was sent, so that the
//   compositor never drops it for a full queue however long the Send.
// The user's physical keyboard and its keymap are never touched, so there is
// no layout to restore.

#include <memory>

#include "Keyboard.h"

namespace tarn::wayland {

class VirtualKeyboard : public tarn::Keyboard {
  public:
    // Connects to `display` (nullptr: $WAYLAND_DISPLAY); `xDisplay` is the
    // compositor's XWayland (nullptr: $DISPLAY), whose programs are typed to
    // as exactly. Null when it cannot connect, the compositor offers no
    // virtual keyboards or no seat, or the US keymap cannot be compiled.
    static std::unique_ptr<VirtualKeyboard> connect(const char* display = nullptr,
                                                    const char* xDisplay = nullptr);
    ~VirtualKeyboard() override;
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

    // Throws Failure 5 "Invalid procedure call or argument" before typing
    // anything when a key cannot be typed (a character with no key symbol, a
    // control character); 1012 once the target loses the focus, closes, or
    // stops reading its keys; 1013 when the connection to the compositor is
    // lost.
    void type(const KeySequence& keys) override;
    void setStopKey(StopKey* stop) override;

  private:
    struct State;
    explicit VirtualKeyboard(std::unique_ptr<State> state);
    std::unique_ptr<State> d_;
};

}  // namespace tarn::wayland
