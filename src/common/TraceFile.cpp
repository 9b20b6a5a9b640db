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
#include <random>
#include <string>
#include <utility>

#include "Failure.h"
#include "ProgramInfo.h"
#include "Settings.h"
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

// Eight letters and digits that no other run is likely to pick at the same
// moment; a clash only costs another attempt.
std::string randomSuffix() {
    static std::mt19937_64 generator{std::random_device{}()};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(8, '0');
    for (char& letter : suffix)
        letter = kLetters[generator() % (sizeof kLetters - 1)];
    return suffix;
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
    QString folder = userFolder(QStandardPaths::GenericDataLocation, "XDG_DATA_HOME");
    // Without a home the trace goes to the runtime folder, which is private.
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder + QStringLiteral("/Tarn");
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
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // The trace is made under a fresh name of its own and then renamed over
    // the old one. Opening the path itself would follow a link that someone
    // else planted there (in a folder others may write to, between any
    // unlink and the open) and truncate whatever it points at; O_EXCL on a
    // new name follows nothing and empties nothing, and rename() replaces the
    // link itself. Where the folder lets nobody but the owner replace a file
    // (a sticky /tmp), another user's file stays as it is and begin() fails.
    int fd = -1;
    std::string fresh;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        fresh = folder + ".TarnTrace-" + randomSuffix();
        do {
            fd = ::open(fresh.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw fileFailure(createFailureNumber(errno));
    if (::rename(fresh.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(fresh.c_str());
        ::close(fd);
        throw fileFailure(createFailureNumber(error));
    }
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
