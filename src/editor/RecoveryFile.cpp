// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecoveryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <atomic>

namespace tarn::editor {
namespace {

// The first line of a copy; the second is the macro file's path, percent-encoded.
const QByteArray kHeader = "Tarn unsaved text 1\n";
const QString kSuffix = QStringLiteral(".unsaved");

QString lockOf(const QString& copy) {
    return copy.left(copy.size() - kSuffix.size()) + QStringLiteral(".lock");
}

// Writes the bytes to the path whole: a new file takes the old one's place.
bool writeWhole(const QString& path, const QByteArray& bytes) {
    const QByteArray name = QFile::encodeName(path);
    const QByteArray temporary = name + ".new";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool written = ::fchmod(fd, 0600) == 0;
    for (qsizetype at = 0; written && at < bytes.size();) {
        const ssize_t n =
            ::write(fd, bytes.constData() + at, static_cast<size_t>(bytes.size() - at));
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        at += std::max<ssize_t>(n, 0);
    }
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.constData(), name.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

}  // namespace

QString recoveryFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // A relative value is to be ignored, as the base directory rules say.
    if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + "/.local/state";
    return state + QStringLiteral("/Tarn");
}

RecoveryFile::~RecoveryFile() {
    // The copy stays: a window that closes with unsaved text has offered it
    // for saving before, and an editor that is killed runs nothing at all.
    if (lock_ >= 0) ::close(lock_);
}

bool RecoveryFile::write(const QString& fileName, const QString& text) {
    if (path_.isEmpty()) {
        const QString folder = recoveryFolder();
        if (!QFileInfo::exists(folder)) {
            QDir().mkpath(QFileInfo(folder).path());
            ::mkdir(QFile::encodeName(folder).constData(), 0700);
        }
        // Private even where something else made it.
        ::chmod(QFile::encodeName(folder).constData(), 0700);
        static std::atomic<int> count{0};
        const QString base = folder + QStringLiteral("/editor-%1-%2-%3")
                                          .arg(::getpid())
                                          .arg(QDateTime::currentMSecsSinceEpoch())
                                          .arg(count++);
        lock_ = ::open(QFile::encodeName(base + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                       0600);
        if (lock_ < 0) return false;
        if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock_);
            lock_ = -1;
            return false;
        }
        path_ = base + kSuffix;
    }
    return writeWhole(path_, kHeader + QUrl::toPercentEncoding(fileName) + "\n" + text.toUtf8());
}

void RecoveryFile::remove() {
    if (path_.isEmpty()) return;
    QFile::remove(path_);
    QFile::remove(lockOf(path_));
    ::close(lock_);
    lock_ = -1;
    path_.clear();
}

std::vector<LeftText> leftTexts() {
    std::vector<LeftText> found;
    const QDir folder(recoveryFolder());
    for (const QFileInfo& info :
         folder.entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Time)) {
        // A lock held is an editor still running.
        const int lock =
            ::open(QFile::encodeName(lockOf(info.filePath())).constData(), O_RDWR | O_CLOEXEC);
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock);
            continue;
        }
        if (lock >= 0) ::close(lock);
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray bytes = file.readAll();
        const qsizetype nameEnd = bytes.indexOf('\n', kHeader.size());
        if (!bytes.startsWith(kHeader) || nameEnd < 0) continue;
        LeftText left;
        left.copy = info.filePath();
        left.fileName =
            QUrl::fromPercentEncoding(bytes.mid(kHeader.size(), nameEnd - kHeader.size()));
        left.text = QString::fromUtf8(bytes.mid(nameEnd + 1));
        left.written = info.lastModified();
        found.push_back(std::move(left));
    }
    return found;
}

void removeLeftText(const LeftText& left) {
    QFile::remove(left.copy);
    QFile::remove(lockOf(left.copy));
}

}  // namespace tarn::editor
