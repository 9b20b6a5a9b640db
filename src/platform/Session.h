// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tarn {

enum class SessionEnd { LogOff = 1, Reboot = 2, Halt = 3, PowerOff = 4 };

class Session {
  public:
    virtual ~Session() = default;
    // Asks for the end of the session; force does not wait for inhibitors or for
    // programs to agree. Returns 0 when the request was accepted, otherwise a
    // nonzero error code.
    virtual int requestEnd(SessionEnd how, bool force) = 0;
};

}  // namespace tarn
