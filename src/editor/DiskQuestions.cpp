// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiskQuestions.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <memory>

#include "EditorPrompts.h"
#include "Failure.h"
#include "MacroDocument.h"

namespace tarn::editor {

namespace {

// The stray bytes a report lists; the count says how many more there are.
constexpr std::size_t kStraysListed = 10;

}  // namespace

void DiskQuestions::tellChange(const FileStamp& now, const std::function<void()>& poReload) {
    if (!mDocument.isNews(now)) return;
    mDocument.told(now);
    const QString name = mDocument.fileName();
    mbAsking = true;
    if (!now.exists) {
        mUser.report(kEditorTitle,
                     name + QStringLiteral(" was deleted or moved by another program.\r\n\r\n"
                                           "The text stays here; Save writes the file again."));
    } else if (mUser.ask(kEditorTitle,
                         name + QStringLiteral(" was changed on disk by another program.\r\n\r\n") +
                             (mDocument.dirty() ? QStringLiteral("Load it and lose your changes?")
                                                : QStringLiteral("Load it again?")))) {
        // The user has chosen the file's text over the window's.
        poReload();
    }
    mbAsking = false;
}

bool DiskQuestions::confirmSaveOver(const QString& psvPath) {
    bool changed = false;
    try {
        changed = ChangedOnDisk(psvPath, mDocument.diskStamp());
    } catch (const Failure&) {
        return true;  // the save itself reports the file's problem
    }
    if (!changed) return true;
    // The watch does not ask about the same change while this question is open.
    mbAsking = true;
    const std::unique_ptr<bool, void (*)(bool*)> asking(&mbAsking,
                                                        [](bool* flag) { *flag = false; });
    return mUser.ask(kEditorTitle,
                     psvPath + QStringLiteral(" was changed on disk by another program since the "
                                              "editor opened or saved it.\r\n\r\nSave over it? "
                                              "The other program's change is then lost."));
}

bool DiskQuestions::confirmLongLines(const QString& psvText) {
    const LongLine found = FirstLineOverLimit(psvText);
    if (found.line == 0) return true;
    return mUser.ask(kEditorTitle, QStringLiteral("Line %1 has %2 characters, more than the %3 the "
                                                  "editor opens: the file will not open in the "
                                                  "editor again.\r\n\r\nSave it anyway?")
                                       .arg(found.line)
                                       .arg(found.length)
                                       .arg(kMaxMacroLineChars));
}

QString DiskQuestions::offerLeftoverCopy(const QString& psvPath) {
    for (const QString& copy : LeftoverCopies(psvPath)) {
        const QFileInfo info(copy);
        const QString about =
            QStringLiteral(
                "A save of %1 was cut short and left a copy of the text it was "
                "saving:\r\n%2 (%3 bytes, %4)\r\n\r\n")
                .arg(psvPath, copy)
                .arg(info.size())
                .arg(QLocale().toString(info.lastModified(), QLocale::ShortFormat));
        if (mUser.ask(kEditorTitle, about + QStringLiteral("Open the copy in place of the file? "
                                                           "Saving then writes it to the file and "
                                                           "removes the copy."))) {
            return copy;
        }
        if (mUser.ask(kEditorTitle, QStringLiteral("Delete the copy %1?").arg(copy))) {
            QFile::remove(copy);
        }
    }
    return QString();
}

void DiskQuestions::reportStrays(const QString& psvPath, const std::vector<StrayByte>& poStrays) {
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
    mUser.report(kEditorTitle,
                 QStringLiteral("%1 is UTF-8 but for %2 bytes that are not. They are kept as they "
                                "were, shown as boxes, and saved back unchanged:")
                         .arg(psvPath)
                         .arg(poStrays.size()) +
                     places);
}

}  // namespace tarn::editor
