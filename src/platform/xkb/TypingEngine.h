// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one plan by which every keyboard backend types a key sequence exactly,
// whatever the layout, locks or keys the user holds:
// - every event is resolved before any is typed, so that a key the desktop
//   cannot type fails the whole sequence (failure 5) with nothing typed;
// - characters the layout lacks are bound by the port, in segments of as many
//   events as their distinct characters fit in its room;
// - the modifiers down follow what the sequence holds plus what the next key's
//   level needs, so "ABC" holds Shift once;
// - between batches the stop key is asked, and before each batch the port
//   confirms the target: a sequence whose target closed, hid or lost the focus
//   to another program ends with failure 1012, the rest untyped;
// - the stop key typed by the sequence ({BREAK}) reaches the target and stops
//   nothing;
// - every key pressed is released, and locks and held keys are put back,
//   before type() returns, also when it throws or the stop key ends it;
// - a stop of the program (Ctrl+Z) waits for a moment with only modifiers
//   down, and for none alone; every key is let go before the program stops,
//   and once it is continued the rest is typed exactly (the modifiers pressed
//   again as the keys need them) into the same target, or not at all (1012);
// - a lost connection is failure 1013 on every desktop.

#include "KeyEvent.h"
#include "TypingPort.h"

namespace tarn {
class StopKey;
}

namespace tarn::typing {

class TypingEngine {
  public:
    explicit TypingEngine(TypingPort& port) : port_(port) {}

    // nullptr: none. Asked between batches; see StopKey.h.
    void setStopKey(StopKey* stop) { stop_ = stop; }
    void type(const KeySequence& keys);

  private:
    TypingPort& port_;
    StopKey* stop_ = nullptr;
};

}  // namespace tarn::typing
