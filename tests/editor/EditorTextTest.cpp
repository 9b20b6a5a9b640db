// SPDX-License-Identifier: GPL-3.0-or-later
// The text area's text as saving, undo and find see it: every character the
// file held, line ends as "\n".
#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "EditorText.h"

namespace tarn::editor {
namespace {

TEST(EditorText, KeepsEveryCharacterTheDisplayTextWouldChange) {
    const QString samples[] = {
        QStringLiteral("a\u00A0b\n"),     // no-break space, Windows-1252 0xA0
        QString::fromUtf8("x\0y", 3),     // NUL
        QStringLiteral("\n\nlast line"),  // empty lines, no final line end
        QStringLiteral("tab\there\n"),
    };
    for (const QString& sample : samples) {
        QPlainTextEdit edit;
        edit.setPlainText(sample);
        EXPECT_EQ(exactText(edit), sample) << sample.toStdString();
    }
}

}  // namespace
}  // namespace tarn::editor
