// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "Help.h"

#include "GuiTest.h"

namespace tarn::guitest {
namespace {

TEST_F(PlayerTest, FixedSingleBorderWithMinimizeBoxOnly) {
    auto form = interactiveOn(QString());
    EXPECT_EQ(form->windowTitle(), "Tarn - Interactive Screen");
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->size(), form->designedSize(false));
    for (QToolButton* tool : form->findChildren<QToolButton*>()) {
        SCOPED_TRACE(tool->objectName().toStdString());
        EXPECT_FALSE(tool->icon().isNull());
        EXPECT_FALSE(tool->toolTip().trimmed().isEmpty());
    }
    // The activity row lies below the client area until a traced run.
    EXPECT_GE(control<QLabel>(*form, "lblActivity")->geometry().top(), form->height());
    EXPECT_TRUE(form->isVisible());
}

// The design's twips were made for an 8-point font; with the desktop's font,
// at any DPI, every text must still be whole.
class TextsFitTest : public PlayerTest, public ::testing::WithParamInterface<double> {};

TEST_P(TextsFitTest, EveryTextIsWhole) {
    const QFont saved = QApplication::font();
    QFont font = saved;
    font.setPointSizeF(GetParam());
    QApplication::setFont(font);
    auto form = interactiveOn(QString());
    QApplication::setFont(saved);
    const QFontMetrics metrics(form->font());
    const QSize grown = form->designedSize(true);
    control<QLabel>(*form, "lblActivity")->setText(QStringLiteral("Send {ENTER}gjpqy|"));
    for (const char* name : {"Label1", "Label2", "lblActivity"}) {
        SCOPED_TRACE(name);
        auto* label = control<QLabel>(*form, name);
        EXPECT_LE(label->sizeHint().width(), label->width());
        EXPECT_LE(metrics.height(), label->height());
        // The text sits at the top; with the activity row shown it is inside the window.
        EXPECT_TRUE(label->alignment() & Qt::AlignTop);
        EXPECT_LE(label->y() + metrics.height(), grown.height());
    }
    QLineEdit* box = fileBox(*form);
    EXPECT_LE(box->minimumSizeHint().height(), box->height());
    EXPECT_LE(button(*form, "cmdStop")->geometry().right(), grown.width());
    // A font that fits the design keeps its twips as they are.
    if (GetParam() <= 6) {
        EXPECT_EQ(form->layoutScale(), 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, TextsFitTest, ::testing::Values(6.0, 9.0, 12.0, 20.0),
                         [](const ::testing::TestParamInfo<double>& info) {
                             return std::to_string(static_cast<int>(info.param)) + "pt";
                         });

TEST_F(PlayerTest, F1AndHelpButtonOpenHelpThatClosesWithThePlayer) {
    auto form = interactiveOn(QString("abc"));
    QLineEdit* box = fileBox(*form);
    box->setCursorPosition(3);
    for (Qt::KeyboardModifiers shift :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        if (helpTopicsWindow()) helpTopicsWindow()->close();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, shift);
        EXPECT_TRUE(QApplication::sendEvent(box, &press));
        ASSERT_NE(helpTopicsWindow(), nullptr);
        EXPECT_TRUE(helpTopicsWindow()->isVisible());
    }
    QTest::keyClick(box, Qt::Key_D);
    EXPECT_EQ(box->text(), "abcd");
    helpTopicsWindow()->close();
    button(*form, "cmdHelp")->click();
    EXPECT_TRUE(helpTopicsWindow()->isVisible());
    EXPECT_EQ(helpFile(), programHelpFile());
    form->close();
    EXPECT_FALSE(helpTopicsWindow()->isVisible());
}

TEST_F(PlayerTest, FileBoxSelectsAllOnFocusAndEnterRunsTheMacroUnderTheHomeFolder) {
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(mDir.path()));
    macro("Rem from home\r\n", "home.mcr");
    auto form = interactiveOn(QStringLiteral("~/home.mcr"));
    QLineEdit* box = fileBox(*form);
    box->deselect();
    QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(box, &focus);
    EXPECT_EQ(box->selectedText(), "~/home.mcr");
    EXPECT_EQ(box->selectionStart(), 0);
    QTest::keyClick(box, Qt::Key_Return);
    qputenv("HOME", home);
    EXPECT_EQ(trace(), "Rem from home\r\n");
    EXPECT_TRUE(mQuestions.asked.empty());
    EXPECT_EQ(box->text(), "~/home.mcr");
}

TEST_F(PlayerTest, PositionAndLastFileRoundTripUnlessClosedMinimized) {
    {
        auto form = makeForm();
        form->Form_Load();
        form->move(150, 90);
        fileBox(*form)->setText("/tmp/a b/ü.mcr");
        form->close();
        EXPECT_EQ(stored(kKeyLeft), twipsText(*form, 150, Qt::Horizontal));
        EXPECT_EQ(stored(kKeyTop), twipsText(*form, 90, Qt::Vertical));
        EXPECT_EQ(storedLastFile(), "/tmp/a b/ü.mcr");
    }
    const QString left = stored(kKeyLeft), top = stored(kKeyTop);
    auto form = makeForm();
    form->Form_Load();
    EXPECT_EQ(form->pos(), QPoint(150, 90));
    EXPECT_EQ(fileBox(*form)->text(), "/tmp/a b/ü.mcr");
    fileBox(*form)->clear();
    form->move(300, 200);
    form->showMinimized();
    ASSERT_TRUE(form->isMinimized());
    form->close();
    EXPECT_EQ(stored(kKeyLeft), left);
    EXPECT_EQ(stored(kKeyTop), top);
    EXPECT_EQ(storedLastFile(), "");
}

TEST_F(PlayerTest, StoredPositionIsCentredWhenUnusableAndKeptOnTheScreen) {
    const struct {
        const char *left, *top;
    } stored[] = {
        {nullptr, nullptr}, {"abc", "12x"}, {"", ""}, {"-150000", "-90000"}, {"900000", "15"}};
    for (const auto& row : stored) {
        SCOPED_TRACE(row.left ? row.left : "nothing stored");
        if (row.left) {
            SaveSetting(appTitle(), kSectionSettings, kKeyLeft, row.left);
            SaveSetting(appTitle(), kSectionSettings, kKeyTop, row.top);
        }
        auto form = makeForm();
        form->Form_Load();
        EXPECT_EQ(form->pos(), centred(*form));
        EXPECT_TRUE(form->interactive());
        EXPECT_TRUE(row.left || fileBox(*form)->text().isEmpty());
    }
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto form = makeForm();
    SaveSetting(appTitle(), kSectionSettings, kKeyLeft,
                twipsText(*form, area.right() - 100, Qt::Horizontal));
    SaveSetting(appTitle(), kSectionSettings, kKeyTop,
                twipsText(*form, area.bottom() - 10, Qt::Vertical));
    form->Form_Load();
    EXPECT_TRUE(area.contains(form->frameGeometry()))
        << ::testing::PrintToString(form->frameGeometry());
    EXPECT_EQ(form->frameGeometry().right(), area.right());
}

}  // namespace
}  // namespace tarn::guitest
