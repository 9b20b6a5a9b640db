// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace tarn {

// A top-level window of the window system as a macro holds it; 0 is no window.
using WindowId = std::int32_t;
// A process identifier as a macro holds it; 0 is none.
using ProcessId = std::int32_t;

}  // namespace tarn
