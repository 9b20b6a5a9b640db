// SPDX-License-Identifier: GPL-3.0-or-later
// The file on disk beside the text in the window. Another program may change
// the file while it is open: the window watches it and offers to load the new
// contents, and a save asks before it writes over a change it has not loaded.
// A save cut short may have left the only whole copy of a text beside the
// file: opening the file offers it, and only the user removes it. A line too
// long to open again is told before a save writes it, and bytes of a UTF-8
// file that are not UTF-8 are shown where they are when it opens.
#include <sys/stat.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QTimer>
#include <array>
#include <memory>

#include "Failure.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

namespace {

// Changes come in bursts (a program writes a file in pieces): the file is
// looked at once they have settled.
constexpr int kSettleMs = 300;
// The stray bytes a report lists; the count says how many more there are.
constexpr std::size_t kStraysListed = 10;

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
    if (!mbLoaded || mbLoading || mbLogMode || mbAskingDisk) return;
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
    if (!mDocument->isNews(now)) return;
    mDocument->told(now);
    mbAskingDisk = true;
    if (!now.exists) {
        report(kEditorTitle,
               name + QStringLiteral(" was deleted or moved by another program.\r\n\r\n"
                                     "The text stays here; Save writes the file again."));
    } else if (ask(kEditorTitle,
                   name + QStringLiteral(" was changed on disk by another program.\r\n\r\n") +
                       (mDocument->dirty() ? QStringLiteral("Load it and lose your changes?")
                                           : QStringLiteral("Load it again?")))) {
        // The user has chosen the file's text over the window's.
        ClearEditor();
        OpenMacro(name);
    }
    mbAskingDisk = false;
}

bool frmMacroEditor::confirmSaveOver(const QString& psvPath) {
    bool changed = false;
    try {
        changed = ChangedOnDisk(psvPath, mDocument->diskStamp());
    } catch (const Failure&) {
        return true;  // the save itself reports the file's problem
    }
    if (!changed) return true;
    // The watch does not ask about the same change while this question is open.
    mbAskingDisk = true;
    const std::unique_ptr<bool, void (*)(bool*)> asking(&mbAskingDisk,
                                                        [](bool* flag) { *flag = false; });
    return ask(kEditorTitle,
               psvPath + QStringLiteral(" was changed on disk by another program since the "
                                        "editor opened or saved it.\r\n\r\nSave over it? "
                                        "The other program's change is then lost."));
}

bool frmMacroEditor::confirmLongLines(const QString& psvText) {
    const LongLine found = FirstLineOverLimit(psvText);
    if (found.line == 0) return true;
    return ask(kEditorTitle, QStringLiteral("Line %1 has %2 characters, more than the %3 the "
                                            "editor opens: the file will not open in the "
                                            "editor again.\r\n\r\nSave it anyway?")
                                 .arg(found.line)
                                 .arg(found.length)
                                 .arg(kMaxMacroLineChars));
}

QString frmMacroEditor::offerLeftoverCopy(const QString& psvPath) {
    for (const QString& copy : LeftoverCopies(psvPath)) {
        const QFileInfo info(copy);
        const QString about =
            QStringLiteral(
                "A save of %1 was cut short and left a copy of the text it was "
                "saving:\r\n%2 (%3 bytes, %4)\r\n\r\n")
                .arg(psvPath, copy)
                .arg(info.size())
                .arg(QLocale().toString(info.lastModified(), QLocale::ShortFormat));
        if (ask(kEditorTitle, about + QStringLiteral("Open the copy in place of the file? "
                                                     "Saving then writes it to the file and "
                                                     "removes the copy."))) {
            return copy;
        }
        if (ask(kEditorTitle, QStringLiteral("Delete the copy %1?").arg(copy))) QFile::remove(copy);
    }
    return QString();
}

void frmMacroEditor::reportStrays(const QString& psvPath, const std::vector<StrayByte>& poStrays) {
    QString places;
    for (std::size_t i = 0; i < poStrays.size() && i < kStraysListed; ++i) {
        places +=
            QStringLiteral("\r\nline %1, column %2: byte %3")
                .arg(poStrays[i].line)
                .arg(poStrays[i].column)
                .arg(QStringLiteral("%1").arg(poStrays[i].byte, 2, 16, QLatin1Char('0')).toUpper());
    }
    if (poStrays.size() > kStraysListed) {
        places += QStringLiteral("\r\nand %1 more").arg(poStrays.size() - kStraysListed);
    }
    report(kEditorTitle,
           QStringLiteral("%1 is UTF-8 but for %2 bytes that are not. They are kept as they "
                          "were, shown as boxes, and saved back unchanged:")
                   .arg(psvPath)
                   .arg(poStrays.size()) +
               places);
}

}  // namespace tarn::editor
