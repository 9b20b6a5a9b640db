// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ShutDownWindows on Linux: the end of the session asked of systemd-logind
// over the system D-Bus (DBUS_SYSTEM_BUS_ADDRESS when set).

#include <string>

#include "Session.h"

namespace tarn::gio {

class LogindSession : public Session {
  public:
    LogindSession() = default;

    // LogOff terminates the caller's session: the session of Tarn's process
    // (GetSessionByPID), else the one XDG_SESSION_ID names, else logind's
    // "auto" session (the user's display session), through Session.Terminate.
    // logind ends a session at once, so force changes nothing for LogOff.
    //
    // Reboot, Halt and PowerOff call RebootWithFlags, HaltWithFlags and
    // PowerOffWithFlags. Without force the flags ask logind to honour every
    // inhibitor lock, even for an administrator; with force they skip the
    // inhibitors. A logind too old for the flag or the method gets the plain
    // Reboot, Halt or PowerOff. Tarn never asks for interactive
    // authorisation: a macro runs unattended, and a password prompt would
    // outlast the bounded wait.
    //
    // Returns 0 when logind accepted the request, else an errno value derived
    // from the D-Bus error (see dbusErrorCode); never 0 on failure. The whole
    // request, connection included, takes at most kTimeoutMilliseconds.
    int requestEnd(SessionEnd how, bool force) override;

    static constexpr int kTimeoutMilliseconds = 5000;
};

// The errno value that stands for a D-Bus error name, after the mapping of
// systemd's own sd-bus: "System.Error.ENAME" is that errno;
// AccessDenied, InteractiveAuthorizationRequired and AuthFailed are EACCES;
// NoReply, Timeout and TimedOut ETIMEDOUT; ServiceUnknown and NameHasNoOwner
// (no logind) EHOSTUNREACH; UnknownMethod, UnknownObject, UnknownInterface
// and UnknownProperty EBADR; InvalidArgs and InvalidSignature EINVAL;
// NoMemory ENOMEM; LimitsExceeded ENOBUFS; Disconnected ECONNRESET; NoServer
// ECONNREFUSED; NotSupported EOPNOTSUPP; FileNotFound ENOENT; logind's
// NoSuchSession, NoSessionForPID, NoSuchUser, NoUserForPID and NoSuchSeat
// ENXIO, OperationInProgress EINPROGRESS, NotInControl EBUSY; any other name
// EIO.
int dbusErrorCode(const std::string& errorName);

}  // namespace tarn::gio
