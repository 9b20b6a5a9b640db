// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <chrono>

#include "KeyEvent.h"

namespace tarn {

class StopKey;

// Synthetic keystrokes into whatever window has the keyboard focus.
class Keyboard {
  public:
    virtual ~Keyboard() = default;
    // Types the events in order and returns without waiting for the target to
    // read them. Every key the sequence pressed is released before this returns,
    // also when it throws.
    virtual void type(const KeySequence& keys) = 0;

    // With a stop key set, a long sequence is typed in parts and ends early,
    // every key released, once the stop key has been pressed; and the stop key
    // typed by a sequence reaches the focused window. nullptr: none.
    virtual void setStopKey(StopKey*) {}

    // A keyboard that changes the keyboard map to type characters the layout
    // lacks keeps those changes from one sequence to the next. This gives the
    // map back exactly as it was found, once the targets have read what was
    // typed (bounded). Hosts call it when a run ends, is stopped or fails.
    virtual void restoreLayout() {}
    // The same, only when nothing has been typed for `idle`.
    virtual void restoreLayoutIfIdle(std::chrono::milliseconds /*idle*/) {}
};

}  // namespace tarn
