// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `tarn --stop` and the runs it stops. A run under way listens on a Unix
// socket of its own, "stop-PID", in a folder only this user may enter
// ($XDG_RUNTIME_DIR/tarn, else /tmp/tarn-UID); `tarn --stop` connects to every
// socket there, and a connection is the request. A socket whose run has ended
// without removing it (the process was killed) refuses connections and is
// removed by the next `tarn --stop`.
//
// The desktop's own key bindings (a Wayland compositor grants no global key
// grab to clients) run `tarn --stop` to reach a run that no Tarn window shows.

#include <string>

namespace tarn::posix {

class StopRequests {
  public:
    StopRequests() = default;
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // Starts listening; false when the folder or the socket cannot be made
    // (the run then has only its other ways to be stopped).
    bool listen();
    // Stops listening and removes the socket.
    void close();
    // Readable when a request may have arrived; -1 when not listening.
    int descriptor() const { return listener_; }
    // Takes the requests that have arrived: how many came from this user.
    // Never blocks.
    int take();

    // Asks every run of this user to stop. The number of runs asked; -1 with
    // psvProblem set when the folder cannot be read.
    static int stopAll(std::string& psvProblem);

  private:
    int listener_ = -1;
    std::string path_;
};

}  // namespace tarn::posix
