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
// A signal also asks the program to end: it is remembered for good (a run
// armed after it stops at once), and terminationSignal() tells the program's
// end which status to give (128 + the signal's number).

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

    // Catches SIGTERM, SIGINT and SIGHUP from here on; the handler only notes
    // the signal and makes signalDescriptor() readable. False when the pipe
    // for that cannot be made (the signals then end the program at once).
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
    void suspend() override;
    void resume() override;
    std::string stoppedBy() const override { return by_; }
    // Whether a run is under way (armed and not yet disarmed).
    bool armed() const { return armed_; }

  private:
    void watch(int descriptor, bool on);

    StopKey* key_;
    StopRequests requests_;
    int epoll_ = -1;
    bool armed_ = false;
    bool pressed_ = false;
    std::string by_;
};

}  // namespace tarn::posix
