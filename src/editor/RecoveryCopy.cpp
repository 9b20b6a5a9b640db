// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecoveryCopy.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QTextDocument>

#include "EditorPrompts.h"
#include "EditorText.h"
#include "Failure.h"
#include "MacroDocument.h"

namespace tarn::editor {

namespace {

// The pause in typing after which the text is kept.
constexpr int kIdleMs = 2000;

// Left texts are offered once a run.
bool offered = false;

}  // namespace

RecoveryCopy::RecoveryCopy(MacroDocument& poDocument, QPlainTextEdit& poText)
    : mDocument(poDocument), mText(poText) {
    mIdle.setSingleShot(true);
    mIdle.setInterval(kIdleMs);
    QObject::connect(mText.document(), &QTextDocument::contentsChanged, &mIdle, [this] {
        if (mDocument.dirty()) mIdle.start();
    });
    QObject::connect(&mIdle, &QTimer::timeout, [this] { keep(); });
}

void RecoveryCopy::keep() {
    if (mbStopped || mDocument.loading() || !mDocument.dirty()) return;
    // A copy that cannot be written costs nothing but the copy.
    mFile.write(mDocument.fileName(), exactText(mText));
}

void RecoveryCopy::drop() {
    mIdle.stop();
    mFile.remove();
}

bool RecoveryCopy::leftTextsOffered() {
    return offered;
}

void RecoveryCopy::offerLeftTexts(EditorPrompts& poUser,
                                  const std::function<bool(const LeftText&)>& poRestore) {
    if (offered) return;
    offered = true;
    for (const LeftText& left : leftTexts()) {
        const QString what = left.fileName.isEmpty()
                                 ? QStringLiteral("an untitled text")
                                 : QStringLiteral("changes to ") + left.fileName;
        const QString text = QStringLiteral(
                                 "An editor ended on %1 without saving %2.\r\n\r\nOpen the unsaved "
                                 "text? No deletes it.")
                                 .arg(QLocale().toString(left.written, QLocale::ShortFormat), what);
        if (!poUser.ask(kEditorTitle, text)) {
            removeLeftText(left);
            continue;
        }
        // Taken: the others wait for the next run.
        if (poRestore(left)) return;
    }
}

bool RecoveryCopy::restore(const LeftText& poLeft, const Fill& poFill) {
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
    if (!poFill(poLeft.text)) return false;
    mDocument.opened(poLeft.fileName, std::move(format), std::move(stamp));
    mDocument.markDirty();
    // This document's copy holds the text before the old one goes.
    if (mFile.write(mDocument.fileName(), exactText(mText))) removeLeftText(poLeft);
    return true;
}

}  // namespace tarn::editor
