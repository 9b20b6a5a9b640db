// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Variables Tarn sets for itself alone. Every program Tarn starts gets the
// environment Tarn was started with, not Tarn's own changes to it.
//
// One such change: without a session bus, the toolkit and GIO would each
// start a bus of their own ("autolaunch") that outlives Tarn by far. Tarn needs
// no session bus, so it marks the bus disabled for itself; a program a macro
// starts still finds no bus address, as in the environment Tarn was given, and
// may start one as it sees fit.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarn::posix {

// Sets NAME=value in Tarn's environment, remembering what Tarn was started
// with. Call before any thread is started.
void setOwnVariable(const std::string& name, const std::string& value);

// When DBUS_SESSION_BUS_ADDRESS is unset or empty: sets it to "disabled:" for
// Tarn alone.
void preventSessionBusAutolaunch();

// When XDG_RUNTIME_DIR is unset or empty (cron, a system service): sets it for
// Tarn alone to the user's /run/user/UID, else to a folder of its own in /tmp
// (mode 700, created when missing), so that the toolkit has one and no warning
// about it spoils the standard error of a successful run. Leaves it unset when
// neither can be had safely.
void provideRuntimeFolder();

// When HOME is unset or empty (a system service, `env -i`): sets it for Tarn
// alone to the user's home folder from the password database, when that is
// an existing folder other than "/". The toolkit would otherwise take the
// root folder for the home and make its settings folders there. Leaves it
// unset when there is no such folder.
void provideHomeFolder();

// The variables set for Tarn alone, each with the value Tarn was started with
// (none: it was not set).
std::vector<std::pair<std::string, std::optional<std::string>>> ownVariables();

// Tarn's current environment ("NAME=value") with the own variables back as
// Tarn was started with them: the environment of a started program.
std::vector<std::string> startedProgramEnvironment();

}  // namespace tarn::posix
