// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A macro file read one line at a time. Lines end at CR, CR LF or LF (files
// written on Linux end their lines with LF alone); the end mark is never part
// of the line. A file that is valid UTF-8 is read as UTF-8, any other as
// Windows-1252; lines come out as UTF-8. A line holds at most kMaxLineBytes
// bytes, so memory is bounded whatever the file holds (a file of zero bytes
// with no line end is one endless line).

#include <cstdio>
#include <functional>
#include <string>

#include "Failure.h"

namespace tarn {

// The longest line a macro may have: 1 MiB, far beyond any statement, even a
// Send of a whole page of text.
inline constexpr std::size_t kMaxLineBytes = 1024 * 1024;
// The most text a macro read from a pipe may hold: it is copied aside before
// the run, and a pipe that never ends must not fill the disk.
inline constexpr std::size_t kMaxPipedBytes = 64 * 1024 * 1024;

// Failure 1011 for a line longer than kMaxLineBytes.
Failure lineTooLongFailure();

class MacroFile {
  public:
    MacroFile() = default;
    ~MacroFile() { close(); }
    MacroFile(const MacroFile&) = delete;
    MacroFile& operator=(const MacroFile&) = delete;

    // Asked now and then while a file is opened (a pipe that is not written
    // to, a scan of a large file): true ends the opening.
    using StopCheck = std::function<bool()>;

    // Opens the file for reading; throws the runtime's failure for the reason it
    // cannot: 53 no such file, 76 no such folder, 70 permission denied, 75 a
    // folder or other non-file. A pipe (a named one, or "<(...)" of a shell) is
    // read as a file is. False, with nothing open, when `stopped` said so.
    bool open(const std::string& path, const StopCheck& stopped = {});
    // Reads the macro from standard input, whatever it is.
    bool openStandardInput(const StopCheck& stopped = {});
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // Reads the next line into `line`; false at the end of the file. Throws
    // lineTooLongFailure() as soon as a line passes kMaxLineBytes; the file
    // is not read on past it.
    bool readLine(std::string& line);

  private:
    // Takes over `file`, positioned at its start, and decides its encoding;
    // false (the file closed) when `stopped` said so meanwhile.
    bool adopt(std::FILE* file, const StopCheck& stopped);
    int get();
    std::FILE* file_ = nullptr;
    bool windows1252_ = false;
    int pushedBack_ = EOF;
};

}  // namespace tarn
