// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window itself: the text area, help and the stored geometry.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "Help.h"
#include "ModalWatch.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "Twips.h"

#include "EditorTest.h"

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

}  // namespace
}  // namespace tarn::editor::test
