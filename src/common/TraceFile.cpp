// SPDX-License-Identifier: GPL-3.0-or-later
#include "TraceFile.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <string>
#include <utility>

#include "Failure.h"
#include "ProgramInfo.h"
#include "Utf8.h"
#include "modGlobal.h"

namespace tarn {

namespace {

constexpr std::int32_t kBadFileNameOrNumber = 52;
constexpr std::int32_t kDeviceIoError = 57;
constexpr std::int32_t kTooManyFiles = 67;

Failure fileFailure(std::int32_t number) {
    switch (number) {
        case kBadFileNameOrNumber:
            return Failure(number, "Bad file name or number", kRuntimeSource);
        case kDeviceIoError:
            return Failure(number, "Device I/O error", kRuntimeSource);
        case kDiskFull:
            return Failure(number, "Disk full", kRuntimeSource);
        case kTooManyFiles:
            return Failure(number, "Too many files", kRuntimeSource);
        default:
            return runtimeFailure(number);
    }
}

// The runtime's number for a failure to create a file.
std::int32_t createFailureNumber(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return kPathNotFound;
        case ENOSPC:
        case EDQUOT:
            return kDiskFull;
        case EMFILE:
        case ENFILE:
            return kTooManyFiles;
        case ETXTBSY:
        case EBUSY:
            return kPermissionDenied;
        default:
            return kPathFileAccessError;
    }
}

std::string toLocal(const QString& psvPath) {
    return QFile::encodeName(psvPath).toStdString();
}

bool isWritableFolder(const QString& psvFolder) {
    const std::string folder = toLocal(psvFolder);
    // access() also answers for read-only mounts, which permission bits do not show.
    return !folder.empty() && QFileInfo(psvFolder).isDir() &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// A user's own installed programs: ~/.local/bin, where the XDG base
// directories put them, and the other folders of PATH (~/bin, say). A build
// folder or an unpacked portable copy is on neither.
bool isProgramsFolder(const QString& psvFolder) {
    const QString folder = QFileInfo(psvFolder).canonicalFilePath();
    if (folder.isEmpty()) return false;
    QStringList folders{QDir::homePath() + QStringLiteral("/.local/bin")};
    folders += QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return std::any_of(folders.cbegin(), folders.cend(), [&folder](const QString& psvEntry) {
        // "." and other relative entries name wherever the shell happens to be.
        return QDir::isAbsolutePath(psvEntry) && QFileInfo(psvEntry).canonicalFilePath() == folder;
    });
}

// An installed copy writes nothing into the system's folders, not even as
// root: a file left there would outlive the package's removal. Nor into a
// user's folder of programs: its data belongs under the XDG folders.
bool keepsTraceBesideItself(const QString& psvProgramFolder) {
    return !isSystemFolder(psvProgramFolder) && !isProgramsFolder(psvProgramFolder) &&
           isWritableFolder(psvProgramFolder);
}

QString dataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tarn");
}

}  // namespace

QString traceFilePathFor(const QString& psvProgramFolder, const QString& psvDataFolder) {
    const QString folder =
        keepsTraceBesideItself(psvProgramFolder) ? psvProgramFolder : psvDataFolder;
    return QString::fromStdString(AddBackslash(folder.toStdString())) +
           QLatin1String(kTraceFileName);
}

QString traceFilePath() {
    static const QString path = [] {
        const QString program = programFolder();
        if (keepsTraceBesideItself(program)) return traceFilePathFor(program, program);
        const QString data = dataFolder();
        QDir().mkpath(data);
        return traceFilePathFor(program, data);
    }();
    return path;
}

TraceFile::TraceFile(QString psvPath) : msvPath(std::move(psvPath)) {}

TraceFile::TraceFile() : TraceFile(traceFilePath()) {}

TraceFile::~TraceFile() {
    end();
}

void TraceFile::begin() {
    end();
    const std::string path = toLocal(msvPath);
    // The old trace goes first, whatever is in the way (usually there is none).
    ::unlink(path.c_str());
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw fileFailure(createFailureNumber(errno));
    miFd = fd;
}

void TraceFile::appendLine(std::string_view psvUtf8) {
    if (miFd < 0) throw fileFailure(kBadFileNameOrNumber);
    std::string record;
    if (utf8::isValid(psvUtf8)) {
        record.reserve(psvUtf8.size() + 2);
        record.assign(psvUtf8);
    } else {
        record = utf8::fromWindows1252(psvUtf8);
    }
    record += "\r\n";
    // Straight to the kernel, with no buffer in the program that a kill could lose.
    std::string_view rest = record;
    while (!rest.empty()) {
        const ssize_t written = ::write(miFd, rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            throw fileFailure(errno == ENOSPC || errno == EDQUOT ? kDiskFull : kDeviceIoError);
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

void TraceFile::appendLine(const QString& psvText) {
    const QByteArray bytes = psvText.toUtf8();
    appendLine(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void TraceFile::end() {
    if (miFd < 0) return;
    ::close(miFd);
    miFd = -1;
}

}  // namespace tarn
