// SPDX-License-Identifier: GPL-3.0-or-later
// The watch of the file on disk beside the text in the window. Another program
// may change the file while it is open: the window watches it and hands what
// it finds to the questions about the file (DiskQuestions).
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <array>

#include "DiskQuestions.h"
#include "Failure.h"
#include "MacroFiles.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

namespace {

// Changes come in bursts (a program writes a file in pieces): the file is
// looked at once they have settled.
constexpr int kSettleMs = 300;

}  // namespace

void frmMacroEditor::connectDiskWatch() {
    mWatcher = new QFileSystemWatcher(this);
    mDiskCheck = new QTimer(this);
    mDiskCheck->setSingleShot(true);
    mDiskCheck->setInterval(kSettleMs);
    connect(mDiskCheck, &QTimer::timeout, this, [this] { checkDisk(); });
    connect(mWatcher, &QFileSystemWatcher::fileChanged, mDiskCheck,
            static_cast<void (QTimer::*)()>(&QTimer::start));
    // A file replaced by a new one (as most programs save) is a change of its
    // folder; the watch of the old file ends with it.
    connect(mWatcher, &QFileSystemWatcher::directoryChanged, mDiskCheck,
            static_cast<void (QTimer::*)()>(&QTimer::start));
}

void frmMacroEditor::watchFile() {
    const QStringList watched = mWatcher->files() + mWatcher->directories();
    if (!watched.isEmpty()) mWatcher->removePaths(watched);
    const QString& name = mDocument->fileName();
    if (mbLogMode || name.isEmpty()) return;
    mWatcher->addPath(QFileInfo(name).absolutePath());
    if (QFileInfo::exists(name)) mWatcher->addPath(name);
}

void frmMacroEditor::checkDisk() {
    if (!mbLoaded || mbLoading || mbLogMode || mFiles->disk().asking()) return;
    const QString name = mDocument->fileName();
    if (name.isEmpty()) return;
    // A file made again under the name is watched anew.
    if (!mWatcher->files().contains(name) && QFileInfo::exists(name)) mWatcher->addPath(name);
    // Something else in the folder changed, or the file was only looked at:
    // the file's contents are not read again.
    struct stat info {};
    const bool exists = ::stat(QFile::encodeName(name).constData(), &info) == 0;
    const std::array<qint64, 5> seen = {exists, static_cast<qint64>(info.st_ino),
                                        static_cast<qint64>(info.st_size), info.st_mtim.tv_sec,
                                        info.st_mtim.tv_nsec};
    if (seen == mSeenOnDisk) return;
    mSeenOnDisk = seen;
    FileStamp now;
    try {
        now = StampOf(name);
    } catch (const Failure&) {
        return;  // unreadable for now; a save reports what is wrong
    }
    mFiles->disk().tellChange(now, [this, &name] {
        ClearEditor();
        OpenMacro(name);
    });
}

}  // namespace tarn::editor
