// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real `tarn` program under test, on an XSession's desktop. Each copy of
// the binary lives in a program folder of its own, so that the trace file
// beside it is this test's alone, with private HOME and XDG folders; it is
// ended by its PID if it still runs when the test ends.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DesktopBackends.h"
#include "PlatformTestSupport.h"
#include "XSession.h"

namespace tarn::e2e {

using namespace std::chrono_literals;

class TarnProgram {
  public:
    // On the session's display and its session bus (withBus false: with no
    // session bus at all, as on a bare kiosk display).
    TarnProgram(testing::XSession& session, const std::vector<std::string>& extraEnv = {},
                bool withBus = true);
    // On the given display, without a session bus; an empty text leaves
    // DISPLAY unset.
    explicit TarnProgram(const std::string& display, const std::vector<std::string>& extraEnv = {});
    ~TarnProgram();
    TarnProgram(const TarnProgram&) = delete;
    TarnProgram& operator=(const TarnProgram&) = delete;

    // A macro file in the test's folder; its path.
    std::string writeMacro(const std::string& name, const std::string& text) const;

    // Starts tarn with these arguments (none: interactive mode), in the test's
    // folder as its working folder; again once it has ended.
    void start(const std::vector<std::string>& arguments = {});
    // Before start: standard input becomes a pipe that holds `text` and then
    // ends (by default it is /dev/null); standard output goes to `path`
    // instead of out() (/dev/full: a disk that is full).
    void setInput(std::string text) { input_ = std::move(text); }
    void setOutput(std::string path) { output_ = std::move(path); }
    // Starts another program (by its path) in tarn's place, with tarn's
    // environment: a launcher that starts tarn itself (gio open).
    void launch(std::vector<std::string> argv);
    pid_t pid() const { return pid_; }
    // The folder of tarn's executable, for a PATH that finds it.
    std::string programFolder() const { return folder_.path() + "/program"; }
    // The exit status once tarn has ended within `limit`; nothing otherwise.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    bool running();

    std::string tracePath() const { return folder_.path() + "/program/TarnTrace.txt"; }
    std::string trace() const;
    std::string folder() const { return folder_.path(); }
    std::string out() const { return platformtest::readFile(folder_ / "stdout.txt"); }
    std::string err() const { return platformtest::readFile(folder_ / "stderr.txt"); }

  private:
    platformtest::TempDir folder_{"tarn-e2e"};
    std::vector<std::string> env_;
    std::string binary_;
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::optional<std::string> input_;
    std::optional<std::string> output_;
};

// The test's own hands on the desktop: the same backends Tarn uses, on a
// connection of their own, plus xdotool for mouse clicks.
class Desktop {
  public:
    explicit Desktop(testing::XSession& session);

    // The first top-level window whose title is exactly `title`, waiting for it.
    WindowId waitForWindow(const std::string& title, std::chrono::milliseconds limit = 20s);
    bool windowExists(const std::string& title);
    ProcessId processOf(WindowId window) { return windows_->processOf(window); }
    // True once the window is active and has the keyboard focus.
    bool activate(WindowId window) { return windows_->setForeground(window); }
    // Types in the key notation into the focused window.
    void type(const std::string& notation);
    // Clicks the player window's control in its top row that lies this many
    // twips from the left of the 7275-twips-wide design. The window grows the
    // whole design by one factor until the desktop's font fits, so a place is
    // the same share of the window's width at any font and DPI.
    void clickPlayer(WindowId player, int twips);
    // Answers Tarn's "Retry ?" box Yes or No, once it shows.
    void answerRetry(bool yes, std::chrono::milliseconds limit = 20s);

  private:
    testing::XSession& session_;
    PlainHost host_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<Keyboard> keyboard_;
};

}  // namespace tarn::e2e
