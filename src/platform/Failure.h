// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one failure type of Tarn. Every interpreter member and platform backend
// reports trouble by throwing a Failure; members that have a handler append
// "." and their own name to the source on the way out, so the source that
// reaches a host records the path from where the failure arose to RunMacro.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace tarn {

class Failure : public std::exception {
  public:
    Failure(std::int32_t number, std::string description, std::string source = {})
        : number_(number), description_(std::move(description)), source_(std::move(source)) {}

    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& source() const noexcept { return source_; }

    // Appends "." and the member name, as each handler on the way out does.
    void appendSource(const char* member) {
        source_ += '.';
        source_ += member;
    }

    const char* what() const noexcept override { return description_.c_str(); }

  private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
};

// The title under which the runtime reports failures it detects itself
// (conversions, file access): the program's title.
inline constexpr const char* kRuntimeSource = "Tarn";

// The runtime's standard failure numbers and their descriptions.
enum RuntimeError : std::int32_t {
    kInvalidArgument = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kTypeMismatch = 13,
    kOutOfStackSpace = 28,
    kFileNotFound = 53,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
};

// The failures of the interpreter's commands and Tarn's own, in one place.
enum OwnError : std::int32_t {
    // A line that is no statement, or a variable name missing.
    kInvalidMacroCommand = 1001,
    // ShutDownWindows with an option outside 1 to 4.
    kInvalidExitOption = 1002,
    // The session manager refused to end the session.
    kExitWindowsRefused = 1005,
    // KillProcess: no such process, not permitted, or a process it must not end.
    kOpenProcessFailed = 1008,
    // KillProcess: the process could not be ended.
    kTerminateProcessFailed = 1009,
    // A macro line longer than kMaxLineBytes.
    kLineTooLong = 1011,
    // The window that had the focus when a Send began was destroyed while
    // keys remained to be typed.
    kTargetWindowClosed = 1012,
    // The connection to the display is gone: nothing can be typed, searched
    // or shown any more, and the program ends.
    kDisplayClosed = 1013,
    // Another run on the display holds every key there is to bind characters
    // the layout lacks to, and did not give one back in time.
    kKeyboardBusy = 1014,
};

// The standard description of a runtime failure number ("Application-defined
// or object-defined error" for numbers the runtime does not describe).
const char* runtimeDescription(std::int32_t number);

// A failure of the runtime itself: standard description, source "Tarn".
Failure runtimeFailure(std::int32_t number);

// The runtime's failure for a file operation that failed with the POSIX error
// code `error`: 53 no such file, 76 no such folder, 70 not permitted (a
// read-only file system included), 61 no room left (a quota or the process's
// file size limit included), 75 anything else.
Failure runtimeFailureFromErrno(int error);

// Runs body; a Failure leaving it gets "." + member appended to its source.
// This is the handler that interpreter members put around their bodies.
template <class Body>
decltype(auto) withSource(const char* member, Body&& body) {
    try {
        return body();
    } catch (Failure& failure) {
        failure.appendSource(member);
        throw;
    }
}

}  // namespace tarn
