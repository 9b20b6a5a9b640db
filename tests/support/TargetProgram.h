// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drives tarn_target, the test suite's own Qt program (tests/support/target),
// inside an XSession: every call sends one command line and waits, bounded,
// for its one-line reply. Failures (an "error" reply, no reply in time, the
// program gone) throw std::runtime_error with the command in the message.
// The destructor asks the program to quit and ends it by its PID.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "XSession.h"

namespace tarn::testing {

// One key event as the target's editor received it (Qt's view of it).
struct KeyRecord {
    bool press = false;
    int key = 0;                   // Qt::Key
    unsigned modifiers = 0;        // Qt::KeyboardModifiers
    unsigned scanCode = 0;         // the X keycode
    unsigned nativeModifiers = 0;  // the X modifier state
    std::string text;              // UTF-8
};

class TargetProgram {
  public:
    explicit TargetProgram(XSession& session);
    ~TargetProgram();
    TargetProgram(const TargetProgram&) = delete;
    TargetProgram& operator=(const TargetProgram&) = delete;

    pid_t pid() const { return pid_; }

    // Sends one command line and returns the reply's payload (after "ok ").
    std::string command(const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::uint32_t window(const std::string& name, const std::string& title);
    void hide(const std::string& name) { command("hide " + name); }
    void show(const std::string& name) { command("show " + name); }
    void rename(const std::string& name, const std::string& title) {
        command("rename " + name + " " + title);
    }
    void close(const std::string& name) { command("close " + name); }
    void askClose(const std::string& name) { command("askclose " + name); }
    // A new window that takes no keyboard focus.
    std::uint32_t shyWindow(const std::string& name, const std::string& title) {
        return static_cast<std::uint32_t>(std::stoul(command("shy " + name + " " + title)));
    }
    int closeRequests(const std::string& name);
    std::string text(const std::string& name);
    std::vector<KeyRecord> keys(const std::string& name);
    void clear(const std::string& name) { command("clear " + name); }
    bool active(const std::string& name);
    // Waits (bounded) for the window to be active: the program learns of its
    // activation from an event of its own, which may come after our next command.
    bool becomesActive(const std::string& name);
    void churn(bool on) { command(on ? "churn on" : "churn off"); }
    // Runs a command `delay` from now; its reply is not awaited.
    void after(std::chrono::milliseconds delay, const std::string& line) {
        command("after " + std::to_string(delay.count()) + " " + line);
    }

  private:
    XSession& session_;
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
};

}  // namespace tarn::testing
