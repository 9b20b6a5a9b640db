// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery copy of the editor's unsaved text. A few seconds after the
// last change, a changed text is written to this window's copy (RecoveryFile);
// saving or discarding the text removes it. An editor killed, crashed or whose
// window was destroyed leaves its copy behind, and the first editor of the
// next run offers it: taken, it comes back as a changed text of its file;
// declined, it is deleted.
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

#include "EditorText.h"
#include "Failure.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

namespace {

// The pause in typing after which the text is kept.
constexpr int kIdleMs = 2000;

}  // namespace

void frmMacroEditor::connectRecovery() {
    mRecovery = std::make_unique<RecoveryFile>();
    mRecoveryTimer = new QTimer(this);
    mRecoveryTimer->setSingleShot(true);
    mRecoveryTimer->setInterval(kIdleMs);
    connect(txtEdit->document(), &QTextDocument::contentsChanged, this, [this] {
        if (mDocument->dirty()) mRecoveryTimer->start();
    });
    connect(mRecoveryTimer, &QTimer::timeout, this, [this] { keepRecoveryCopy(); });
}

void frmMacroEditor::keepRecoveryCopy() {
    if (mbLogMode || mbLoading || !mDocument->dirty()) return;
    // A copy that cannot be written costs nothing but the copy.
    mRecovery->write(mDocument->fileName(), exactText(*txtEdit));
}

void frmMacroEditor::dropRecoveryCopy() {
    mRecoveryTimer->stop();
    mRecovery->remove();
}

void frmMacroEditor::offerLeftTexts() {
    // Offered once a run, by the first editor that loads.
    static bool offered = false;
    if (offered || !mbLoaded || mbLogMode) return;
    if (mbOpening || mbLoading) {
        QTimer::singleShot(100, this, [this] { offerLeftTexts(); });
        return;
    }
    offered = true;
    for (const LeftText& left : leftTexts()) {
        const QString what = left.fileName.isEmpty()
                                 ? QStringLiteral("an untitled text")
                                 : QStringLiteral("changes to ") + left.fileName;
        const QString text = QStringLiteral(
                                 "An editor ended on %1 without saving %2.\r\n\r\nOpen the unsaved "
                                 "text? No deletes it.")
                                 .arg(QLocale().toString(left.written, QLocale::ShortFormat), what);
        if (!ask(kEditorTitle, text)) {
            removeLeftText(left);
            continue;
        }
        // Taken: the others wait for the next run.
        if (restoreLeftText(left)) return;
    }
}

bool frmMacroEditor::restoreLeftText(const LeftText& poLeft) {
    if (!NewText()) return false;
    MacroFileFormat format;
    FileStamp stamp;
    if (!poLeft.fileName.isEmpty()) {
        try {
            MacroFileText file = ReadMacroFile(poLeft.fileName);
            format = std::move(file.format);
            stamp = std::move(file.stamp);
        } catch (const Failure&) {
            // The file is gone or unreadable: the text is saved as a new one.
        }
        // The text's lines are not the file's: each gets the file's common end.
        format.lineEnds.clear();
    }
    if (!fillTextArea(poLeft.text)) return false;
    mDocument->opened(poLeft.fileName, std::move(format), std::move(stamp));
    mDocument->markDirty();
    if (poLeft.fileName.isEmpty()) {
        setWindowTitle(kUntitledCaption);
    } else {
        UpdateTitle();
    }
    UpdateEditMenus();
    watchFile();
    // This window's copy holds the text before the old one goes.
    if (mRecovery->write(mDocument->fileName(), exactText(*txtEdit))) removeLeftText(poLeft);
    return true;
}

}  // namespace tarn::editor
