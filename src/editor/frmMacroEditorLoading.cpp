// SPDX-License-Identifier: GPL-3.0-or-later
// Putting an opened file's text into the text area. A large file goes in piece
// by piece with the window shown: the hourglass and a progress bar in the
// status area tell that it is still coming, and between the pieces the window
// paints, scrolls and can be closed (which gives up the rest of the file).
// Meanwhile the text cannot be typed into and the commands are off, so no
// command meets a half-loaded text.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <utility>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "TextAreaFill.h"
#include "frmMacroEditor.h"

namespace tarn::editor {

namespace {

// From this size on a file shows that it is loading.
constexpr qsizetype kLargeFileChars = 1024 * 1024;
// How often the window answers while a file goes in.
constexpr qint64 kAnswerEveryMs = 50;

}  // namespace

bool frmMacroEditor::fillTextArea(const QString& psvText) {
    const bool large = psvText.size() > kLargeFileChars;
    mbLoading = true;
    mDocument->setLoading(true);
    mbLoadStopped = false;
    std::vector<std::pair<QAction*, bool>> entries;
    for (const auto& [name, action] : mEntries) {
        entries.emplace_back(action, action->isEnabled());
        action->setEnabled(false);
    }
    tbToolBar->setEnabled(false);
    const bool readOnly = txtEdit->isReadOnly();
    txtEdit->setReadOnly(true);
    QProgressBar* progress = nullptr;
    if (large) {
#ifdef __GLIBC__
        // The document's text and block tables grow by doubling. A fixed
        // threshold keeps such large blocks mapped, so growing one remaps its
        // pages instead of copying them; left to itself, glibc raises the
        // threshold to the largest block freed and puts them back on the heap.
        ::mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
        QApplication::setOverrideCursor(Qt::WaitCursor);
        progress = new QProgressBar;
        progress->setObjectName(QStringLiteral("prgLoading"));
        progress->setRange(0, 1000);
        statusBar()->addPermanentWidget(progress, 1);
    }
    const double total = static_cast<double>(psvText.size());
    // The window answers every so often, not after every piece: each answer
    // paints it, which costs about as much as a piece.
    QElapsedTimer sinceAnswer;
    sinceAnswer.start();
    const bool complete = FillTextArea(*txtEdit, psvText, kFillPieceChars, [&](qsizetype piDone) {
        if (sinceAnswer.elapsed() < kAnswerEveryMs) return true;
        if (progress) progress->setValue(static_cast<int>(1000.0 * piDone / total));
        QApplication::processEvents();
        sinceAnswer.restart();
        return !mbLoadStopped;
    });
    if (large) {
        // The status area is there only while a file loads.
        delete progress;
        setStatusBar(nullptr);
        QApplication::restoreOverrideCursor();
    }
    txtEdit->setReadOnly(readOnly);
    tbToolBar->setEnabled(true);
    for (const auto& [action, enabled] : entries)
        action->setEnabled(enabled);
    mbLoading = false;
    mDocument->setLoading(false);
#ifdef __GLIBC__
    // The file's text as read and the pieces it went in by are free again, but
    // scattered between what the document keeps: give their pages back.
    if (large) ::malloc_trim(0);
#endif
    return complete && !mbLoadStopped;
}

}  // namespace tarn::editor
