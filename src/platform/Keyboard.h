#pragma once
#include "KeyEvent.h"

namespace tarn {

// Synthetic keystrokes into whatever window has the keyboard focus.
class Keyboard {
  public:
    virtual ~Keyboard() = default;
    // Types the events in order and returns without waiting for the target to
    // read them. Every key the sequence pressed is released before this returns,
    // also when it throws.
    virtual void type(const KeySequence& keys) = 0;
};

}  // namespace tarn
