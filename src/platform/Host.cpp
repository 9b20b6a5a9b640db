// SPDX-License-Identifier: GPL-3.0-or-later
#include "Host.h"

#include <thread>

namespace tarn {

Host::Clock::time_point PlainHost::now() {
    return Clock::now();
}

void PlainHost::idle(std::chrono::milliseconds atMost) {
    std::this_thread::sleep_for(atMost);
}

}  // namespace tarn
