// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one stop request of a run, whatever asks for it: the desktop's stop key
// (Pause on X11, when there is one), `tarn --stop` (StopRequests.h) and the
// termination signals SIGTERM, SIGINT and SIGHUP. The player's window and the
// keyboard see it as the stop key: the window watches descriptor() between
// statements and in every wait, the keyboard asks pressed() between the parts
// of a long Send, so a run ends within a fraction of a second whichever way
// it was asked.
//
// A stop key the run types itself ({BREAK}) stops nothing: the desktop's key
// is let go meanwhile, and where the desktop binds that key to `tarn --stop`
// (a Wayland compositor's binding), the requests the key sets off are taken
// for it: one per key typed, arriving while it is typed or within
// kOwnKeyEcho of its release. A request of the user's in that moment is
// taken so too; the next one stops the run.
//
// A signal also asks the program to end: it is remembered for good (a run
// armed after it stops at once), and terminationSignal() tells the program's
// end which status to give (128 + the signal's number).

#include <signal.h>

#include <chrono>
#include <string>

#include "StopKey.h"
#include "StopRequests.h"

namespace tarn::posix {

class RunStop : public StopKey {
  public:
    // key: the desktop's stop key, or nullptr when there is none. Must outlive
    // this object.
    explicit RunStop(StopKey* key);
    ~RunStop() override;
    RunStop(const RunStop&) = delete;
    RunStop& operator=(const RunStop&) = delete;

    // The signals that end Tarn once its run has stopped and the keyboard is
    // put back: besides TERM, INT and HUP the others whose default is to end
    // a process, which would leave keys held down in the middle of a Send.
    static constexpr int kTerminationSignals[] = {SIGTERM, SIGINT,  SIGHUP, SIGQUIT,
                                                  SIGUSR1, SIGUSR2, SIGALRM};

    // The signals of job control that stop a process (Ctrl+Z, and reading
    // or writing the terminal from the background). They stop Tarn as ever,
    // but not while a keyboard holds keys down (StopKey::holdingKeys).
    static constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

    // Catches kTerminationSignals and kStopSignals from here on; the handler
    // notes a termination signal and makes signalDescriptor() readable.
    // False when the pipe for that cannot be made (the termination signals
    // then end the program at once).
    static bool catchTerminationSignals();
    // Readable after a signal was caught, until drainSignals(); -1 before
    // catchTerminationSignals().
    static int signalDescriptor();
    static void drainSignals();
    // The first termination signal caught, 0 when none was.
    static int terminationSignal();

    bool arm() override;
    void disarm() override;
    bool pressed() override;
    int descriptor() const override { return epoll_; }
    bool heldElsewhere() const override { return key_ && key_->heldElsewhere(); }
    void suspend() override;
    void resume() override;
    std::string stoppedBy() const override { return by_; }
    void holdingKeys(bool holding) override;
    bool programStopAsked() override;
    void stopProgram() override;

    // How long after a stop key the run typed a request counts as its echo:
    // the compositor starts `tarn --stop` as a new process, which on a busy
    // machine takes a while to connect.
    static constexpr std::chrono::milliseconds kOwnKeyEcho{3000};

  private:
    void watch(int descriptor, bool on);

    StopKey* key_;
    StopRequests requests_;
    int epoll_ = -1;
    bool armed_ = false;
    bool pressed_ = false;
    std::string by_;
    // Stop keys the run typed whose requests have not come yet, and until
    // when they may still come.
    int echoes_ = 0;
    bool typingKey_ = false;
    std::chrono::steady_clock::time_point echoesUntil_;
};

}  // namespace tarn::posix
