// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoundedExit.h"

#include "RunStop.h"

#include <signal.h>

#include <cstdlib>
#include <initializer_list>
#include <thread>

namespace tarn::posix {

void endWithin(std::chrono::milliseconds limit, int status) {
    for (int number : RunStop::kTerminationSignals)
        ::signal(number, SIG_DFL);
    std::thread([limit, status] {
        std::this_thread::sleep_for(limit);
        std::_Exit(status);
    }).detach();
}

}  // namespace tarn::posix
