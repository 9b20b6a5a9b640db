// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window itself: the text area, help, the stored geometry, and the
// language's colours and marks on a macro opened from a file.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "EditorTest.h"
#include "Help.h"
#include "MacroGutter.h"
#include "MacroHighlighter.h"
#include "ModalWatch.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "Twips.h"

namespace tarn::editor::test {
namespace {

TEST_F(EditorTest, HelpEntriesAndCtrlAOpenHelpAndTheAboutBox) {
    auto form = shownEditor();
    if (helpTopicsWindow()) helpTopicsWindow()->close();
    action(*form, "mnuHelpContents")->trigger();
    ASSERT_NE(helpTopicsWindow(), nullptr);
    EXPECT_TRUE(helpTopicsWindow()->isVisible());
    helpTopicsWindow()->close();

    // Ctrl+A in the text area is About (modal), never Select All.
    type(*form, "abc");
    QString aboutCaption;
    ModalWatch watch([&](QWidget* modal) {
        aboutCaption = modal->windowTitle();
        modal->close();
    });
    key(*form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(aboutCaption, "About " + appTitle());
    EXPECT_FALSE(text(*form)->textCursor().hasSelection());
}

// Geometry, in twips under the "Editor" keys.

QString stored(const char* psvKey) {
    return GetSetting(appTitle(), kSectionSettings, psvKey, "<none>");
}

TEST_F(EditorTest, FreshInstallationOpensAnUnwrappedUntitledTextAtSeventyPercentCentred) {
    auto form = editor();
    EXPECT_EQ(form->windowTitle(), "Untitled - Tarn Macro Editor");
    EXPECT_EQ(text(*form)->lineWrapMode(), QPlainTextEdit::NoWrap);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const double width = 0.7 * pixelsToTwips(screen.width(), form.get(), Qt::Horizontal);
    const double height = 0.7 * pixelsToTwips(screen.height(), form.get(), Qt::Vertical);
    EXPECT_EQ(form->width(), twipsToPixels(width, form.get(), Qt::Horizontal));
    EXPECT_EQ(form->height(), twipsToPixels(height, form.get(), Qt::Vertical));
    const double screenWidthTwips = pixelsToTwips(screen.width(), form.get(), Qt::Horizontal);
    EXPECT_EQ(form->pos().x(),
              twipsToPixels(screenWidthTwips / 2 - width / 2, form.get(), Qt::Horizontal));
}

TEST_F(EditorTest, GeometryIsStoredOnCloseOnlyFromTheNormalState) {
    {
        auto form = editor();
        form->show();
        form->setGeometry(60, 45, 600, 300);
        QApplication::processEvents();
        const QPoint at = form->pos();
        form->close();
        EXPECT_EQ(stored("Editor Width"), numberText(static_cast<float>(pixelsToTwips(600))));
        EXPECT_EQ(stored("Editor Height"),
                  numberText(static_cast<float>(pixelsToTwips(300, nullptr, Qt::Vertical))));
        EXPECT_EQ(stored("Editor Left"), numberText(static_cast<float>(pixelsToTwips(at.x()))));
        EXPECT_EQ(stored("LogViewer Width"), "<none>");
    }
    // The next window opens there; a maximized or minimized one stores nothing.
    for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        auto form = editor();
        EXPECT_EQ(form->size(), QSize(600, 300));
        form->show();
        form->setWindowState(state);
        QApplication::processEvents();
        SaveSetting(appTitle(), kSectionSettings, kKeyEditorWidth, "1234");
        form->close();
        EXPECT_EQ(stored("Editor Width"), "1234");
        SaveSetting(appTitle(), kSectionSettings, kKeyEditorWidth,
                    numberText(static_cast<float>(pixelsToTwips(600))));
    }
}

TEST_F(EditorTest, MacroShownInColourAndMarkedWithoutBeingChanged) {
    auto form = editor();
    const QByteArray bytes("Rem first\r\nSend {BOGUS}\r\nWait 1\r\n");
    ASSERT_TRUE(form->OpenMacro(put(QStringLiteral("m.mcr"), bytes)));
    const QString undo = form->undoText();
    ASSERT_NE(form->highlighter(), nullptr);
    ASSERT_NE(form->gutter(), nullptr);
    // Coloured when painted.
    EXPECT_TRUE(text(*form)->document()->begin().layout()->formats().isEmpty());
    form->show();
    QApplication::processEvents();
    EXPECT_FALSE(text(*form)->document()->begin().layout()->formats().isEmpty());
    form->gutter()->refreshMarks();
    EXPECT_EQ(form->gutter()->marks().size(), 1u);
    EXPECT_EQ(form->gutter()->marks().count(2), 1u);

    form->GoToLine(3);
    EXPECT_EQ(text(*form)->textCursor().blockNumber(), 2);
    EXPECT_EQ(text(*form)->textCursor().positionInBlock(), 0);
    EXPECT_FALSE(form->dirty());
    EXPECT_EQ(form->undoText(), undo);
    EXPECT_EQ(textOf(*form), QStringLiteral("Rem first\nSend {BOGUS}\nWait 1\n"));

    // Typing is still an edit, and the new line is coloured as typed.
    type(*form, QStringLiteral("Send x"));
    QApplication::processEvents();
    EXPECT_TRUE(form->dirty());
    EXPECT_FALSE(text(*form)->document()->findBlockByNumber(2).layout()->formats().isEmpty());
}

}  // namespace
}  // namespace tarn::editor::test
