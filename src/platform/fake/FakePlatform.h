// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording in-memory stand-ins for every platform interface, for tests only.
// Each call is appended to one shared log in the order it was made, so a test
// can assert the exact sequence of effects a statement had.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Failure.h"
#include "Platform.h"
#include "StopKey.h"

namespace tarn::fake {

using CallLog = std::vector<std::string>;

struct FakeWindow {
    WindowId id = 0;
    std::string title;
    bool visible = true;
    bool iconic = false;
    ProcessId process = 0;
    bool closesWhenAsked = true;  // false: the window asks its user first
};

class FakeWindowSystem : public WindowSystem {
  public:
    explicit FakeWindowSystem(CallLog& log) : log_(log) {}

    // Topmost first, as topLevelWindows() reports them.
    std::vector<FakeWindow> windows;
    WindowId active = 0;
    int enumerations = 0;
    // Thrown by activateProcess() instead of looking for a window.
    std::optional<Failure> activateFailure;

    FakeWindow* find(WindowId id);

    std::vector<TopLevelWindow> topLevelWindows() override;
    bool isWindow(WindowId window) override;
    bool isIconic(WindowId window) override;
    void restore(WindowId window) override;
    bool setForeground(WindowId window) override;
    void postClose(WindowId window) override;
    ProcessId processOf(WindowId window) override;
    void activateProcess(ProcessId process) override;

  private:
    CallLog& log_;
};

class FakeKeyboard : public Keyboard {
  public:
    explicit FakeKeyboard(CallLog& log) : log_(log) {}
    std::vector<KeySequence> typed;
    void type(const KeySequence& keys) override;

  private:
    CallLog& log_;
};

// The emergency stop key: a test presses it with press().
class FakeStopKey : public StopKey {
  public:
    bool armed = false;
    bool armable = true;  // false: arm() fails, as without such a key
    int arms = 0;
    void press();

    bool arm() override;
    void disarm() override { armed = false; }
    bool pressed() override { return pressed_; }
    int descriptor() const override { return -1; }
    void suspend() override {}
    void resume() override {}

  private:
    bool pressed_ = false;
};

class FakeProcesses : public Processes {
  public:
    explicit FakeProcesses(CallLog& log) : log_(log) {}

    ProcessId nextProcess = 1000;
    ProcessId self = 4242;
    std::set<ProcessId> running;             // processes that open() finds
    std::set<ProcessId> protectedProcesses;  // open() fails with EPERM (1)
    std::optional<Failure> startFailure;     // thrown by the next start()
    int terminateError = 0;

    ProcessId start(const std::string& commandLine) override;
    int open(ProcessId process) override;
    int terminate(ProcessId process) override;
    ProcessId currentProcess() override { return self; }

  private:
    CallLog& log_;
};

class FakeDocuments : public Documents {
  public:
    explicit FakeDocuments(CallLog& log) : log_(log) {}
    int result = 42;
    int execute(WindowId owner, const std::string& operation, const std::string& file,
                const std::string& parameters, const std::string& startDirectory,
                int showCommand) override;

  private:
    CallLog& log_;
};

class FakeSession : public Session {
  public:
    explicit FakeSession(CallLog& log) : log_(log) {}
    int result = 0;
    int requestEnd(SessionEnd how, bool force) override;

  private:
    CallLog& log_;
};

// A clock that only moves when the interpreter idles or yields, so waits and
// time-outs run instantly and deterministically.
class FakeHost : public Host {
  public:
    Clock::time_point time{};
    long yields = 0;
    long idles = 0;
    // Advance of the clock on each yield(); idle() advances by what it is given.
    Clock::duration yieldStep{};
    // Called on every yield and idle, after the clock moved: tests change the
    // world here (a window appears, Stop is pressed).
    std::function<void()> onYield;

    Clock::time_point now() override { return time; }
    void yield() override;
    void idle(std::chrono::milliseconds atMost) override;
};

// All fakes sharing one call log, and the Platform bundle over them.
struct FakePlatform {
    CallLog log;
    FakeWindowSystem windows{log};
    FakeKeyboard keyboard{log};
    FakeProcesses processes{log};
    FakeDocuments documents{log};
    FakeSession session{log};
    FakeHost host;

    Platform platform() { return Platform{windows, keyboard, processes, documents, session, host}; }
};

}  // namespace tarn::fake
