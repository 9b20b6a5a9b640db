// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the interpreter asks of the operating system, as one bundle of
// references. The Linux backends and the recording fakes both provide one.

#include "Documents.h"
#include "Host.h"
#include "Keyboard.h"
#include "Processes.h"
#include "Session.h"
#include "WindowSystem.h"

namespace tarn {

struct Platform {
    WindowSystem& windows;
    Keyboard& keyboard;
    Processes& processes;
    Documents& documents;
    Session& session;
    Host& host;
};

}  // namespace tarn
