// SPDX-License-Identifier: GPL-3.0-or-later
// The real "Retry ?" box of the player (not the tests' question hook): a long
// macro line is wrapped inside it, on the screen, and keeps its characters.
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

#include "../common/ModalWatch.h"
#include "GuiTest.h"

namespace tarn::guitest {
namespace {

TEST_F(PlayerTest, LongMacroLineIsWrappedInsideTheRetryBox) {
    const std::string line = "Send " + std::string(300, 'x') + "{BOGUS}";
    frmTarn form(mFake.platform(), std::nullopt);  // with its own message box
    form.setTraceFilePath(tracePath());
    form.Form_Load();
    fileBox(form)->setText(macro(line + "\r\n"));

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QString shown;
    ModalWatch watch([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Tarn Macro Message");
        EXPECT_TRUE(screen.contains(box->frameGeometry()));
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        // Laid out as the label draws it, the text needs no more than the label's width.
        const QRect needed =
            QFontMetrics(label->font())
                .boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.width(), label->width());
        EXPECT_LE(needed.height(), label->height());
        shown = label->text().remove(QChar(0x200B));
        box->button(QMessageBox::No)->click();
    });
    button(form, "cmdGo")->click();
    EXPECT_TRUE(watch.seen());
    EXPECT_TRUE(shown.contains(QString::fromStdString(" Last Macro Command: " + line + "\n")));
    // The question hook, and with it the trace, get the line exactly.
    EXPECT_EQ(form.lastCommand(), line);
}

}  // namespace
}  // namespace tarn::guitest
