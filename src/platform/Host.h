// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the interpreter needs of the program that runs it: a monotonic clock and
// the yield to pending user-interface events. Tests inject a fake clock and a
// yield that advances it, so waits and retry loops run without real sleeping.

#include <chrono>

namespace tarn {

class Host {
  public:
    using Clock = std::chrono::steady_clock;
    virtual ~Host() = default;

    virtual Clock::time_point now() = 0;
    // Handles pending user-interface events and returns at once.
    virtual void yield() = 0;
    // Handles pending events; when there were none, blocks until one arrives or
    // at most `atMost` has passed. Used between the passes of waits and retries.
    virtual void idle(std::chrono::milliseconds atMost) = 0;
};

// A host for programs without a user interface: the real clock, nothing to
// yield to, and idling that sleeps.
class PlainHost : public Host {
  public:
    Clock::time_point now() override;
    void yield() override {}
    void idle(std::chrono::milliseconds atMost) override;
};

}  // namespace tarn
