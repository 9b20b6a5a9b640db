// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the recorder asks of the desktop beyond the toolkit, provided by the
// program that composes the platform: on X, held keys reported as repeated
// presses without releases (detectable auto-repeat), so that two real taps of
// one key in one millisecond are not taken for a held key. Without the hook
// the recorder goes by the toolkit's repeat flag.

#include <functional>

namespace tarn::editor {

// Asks (true) or stops asking (false) for held keys as presses without
// releases, for the program's own connection to the display; returns whether
// the desktop reports held keys so now.
using HeldKeysHook = std::function<bool(bool pbOn)>;

// Program-wide.
void setHeldKeysHook(HeldKeysHook poHook);

}  // namespace tarn::editor
