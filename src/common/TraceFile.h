// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The trace file "TarnTrace.txt": the record of the last interactive run. The
// player writes it, the trace viewer reads it; both find it with
// traceFilePath().
//
// Records are UTF-8 lines ended by CR LF, the encoding macro files are read in,
// with no header and nothing between runs. Each record goes to the operating
// system the moment it is appended (one write(), no buffering in the program),
// so a crash or a kill of Tarn loses nothing written before it, and the viewer
// can read the trace while a run goes on.

#include <QString>
#include <string_view>

namespace tarn {

inline constexpr char kTraceFileName[] = "TarnTrace.txt";

// AddBackslash(programFolder()) + "TarnTrace.txt" when the program's folder is
// writable and no system folder (a build tree, a portable folder); otherwise
// (an installed copy, isSystemFolder()) the same name in the user's data
// folder ($XDG_DATA_HOME/Tarn, created on demand). Decided once per process, so
// the player and the viewer always agree. Needs a QCoreApplication.
QString traceFilePath();

// The rule behind traceFilePath(), for given folders: the trace's path in
// psvProgramFolder if that is a writable folder outside the system's program
// folders, else in psvDataFolder.
QString traceFilePathFor(const QString& psvProgramFolder, const QString& psvDataFolder);

class TraceFile {
  public:
    // The file is not touched until begin().
    explicit TraceFile(QString psvPath);
    TraceFile();   // at traceFilePath()
    ~TraceFile();  // closes the file when open
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    const QString& path() const { return msvPath; }
    bool isOpen() const { return miFd >= 0; }

    // Replaces any existing file by a new empty one, made under a fresh name
    // beside it and renamed into place (a link at the path is replaced, never
    // followed), and keeps it open for appending. Throws tarn::Failure with source
    // "Tarn" when it cannot be created: 76 "Path not found" (missing folder),
    // 75 "Path/File access error" (read-only or not permitted, or another
    // user's file in a folder where only its owner may replace it), 61 "Disk full",
    // 67 "Too many files". When already open, the open file is closed first.
    void begin();

    // Writes one record and CR LF. Text that is not valid UTF-8 is taken as
    // Windows-1252 (the other encoding macro files come in), so the trace stays
    // valid UTF-8. Throws tarn::Failure 52 "Bad file name or number" when the file
    // is not open, 61 "Disk full" or 57 "Device I/O error" when the write fails.
    void appendLine(std::string_view psvUtf8);
    void appendLine(const QString& psvText);
    void appendLine(const char* psvUtf8) { appendLine(std::string_view(psvUtf8)); }

    // Closes the file; nothing happens when it is not open.
    void end();

  private:
    QString msvPath;
    int miFd = -1;
};

}  // namespace tarn
