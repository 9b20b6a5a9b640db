// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The emergency stop: one key that stops a run whatever window has the focus,
// for runs nobody can reach through Tarn's own windows. The key is Pause
// (Break); it is watched only while a run is under way, so the rest of the
// time it belongs to the focused program as usual.

#include <functional>
#include <string>

#include "KeyEvent.h"

namespace tarn {

class StopKey {
  public:
    // The key, as the keystroke notation types it ({BREAK}) and as the user
    // knows it.
    static constexpr Key kKey = Key::Pause;
    static constexpr const char* kKeyName = "Pause";

    virtual ~StopKey() = default;

    // Raised once per arm(), on the calling thread, by the first call that
    // finds the key pressed (pressed() itself, or a keyboard typing a long
    // sequence, which asks between its parts).
    std::function<void()> Pressed;

    // Raised, on the calling thread, when an armed key that another program
    // held at arm() has been taken over since (that program let it go).
    std::function<void()> Taken;

    // Starts watching the key on the whole desktop, with any modifiers and
    // locks, and forgets a press from before. False when the key cannot be
    // watched (the keyboard has no such key, or another program holds it).
    // Held by another program (another run of Tarn), the key is taken over
    // as soon as it is free again, found by pressed().
    virtual bool arm() = 0;
    // Whether the armed key is held by another program for now, so that it
    // cannot stop this run until it is taken over.
    virtual bool heldElsewhere() const { return false; }
    // Stops watching; the key goes to the focused window again.
    virtual void disarm() = 0;
    // Reads what has arrived; true once the key was pressed since arm().
    virtual bool pressed() = 0;
    // A file descriptor that becomes readable when pressed() may have news,
    // for an event loop to watch; -1 when there is none.
    virtual int descriptor() const = 0;

    // While the program types the key itself (a macro may send {BREAK}), it
    // reaches the focused window and stops nothing. Pairs; no effect unarmed.
    virtual void suspend() = 0;
    virtual void resume() = 0;

    // What stopped the run, for the report of a batch run: "the Pause key"
    // unless a stop of another kind says otherwise.
    virtual std::string stoppedBy() const { return std::string("the ") + kKeyName + " key"; }

    // Job control (Ctrl+Z: SIGTSTP, and SIGTTIN, SIGTTOU) must not stop the
    // program while it holds keys down: the server would go on repeating
    // them into whatever has the focus until the program is continued. A
    // keyboard says when it begins and ends holding keys; while it does, a
    // stop signal only waits, and the keyboard asks for it between its keys,
    // lets go of every one and calls stopProgram(), which returns once the
    // program is continued. A stop still waiting when holding ends stops the
    // program then.
    virtual void holdingKeys(bool /*holding*/) {}
    virtual bool programStopAsked() { return false; }
    virtual void stopProgram() {}
};

}  // namespace tarn
