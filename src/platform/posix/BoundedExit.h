// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The end of the program once its work is done: whatever the libraries do
// as they are torn down (a toolkit waiting on a display connection that
// will never answer), the process ends within a stated limit, and a
// termination signal ends it at once, as it would any program.

#include <chrono>

namespace tarn::posix {

// From now on SIGTERM, SIGINT and SIGHUP end the process (a run is no longer
// there to stop), and should it still exist after `limit`, it ends with
// `status` without running any more of its clean-up.
void endWithin(std::chrono::milliseconds limit, int status);

}  // namespace tarn::posix
