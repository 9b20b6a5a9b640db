// SPDX-License-Identifier: GPL-3.0-or-later

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "Help.h"
#include "ModalWatch.h"
#include "frmAbout.h"

namespace {

TEST(About, KeepsTheDesignProportionsFitsItsTextsAndOkAndF1Work) {
    tarn::frmAbout about;
    about.show();
    // Fixed size, in the design's 5250 x 2070 proportion (pixels round).
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_NEAR(about.width() / double(about.height()), 5250.0 / 2070.0, 0.03);
    const QFontMetrics metrics(about.font());
    for (const char* name : {"lblProgramNameAndVersion", "lblCopyright"}) {
        auto* label = about.findChild<QLabel*>(name);
        EXPECT_FALSE(label->text().isEmpty()) << name;
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text())) << name;
        EXPECT_GE(label->height(), metrics.height()) << name;
        EXPECT_LE(label->geometry().right(), about.width()) << name;
    }
    for (const char* name : {"cmdOK", "cmdSysinfo"}) {
        auto* button = about.findChild<QPushButton*>(name);
        EXPECT_GE(button->width(), button->sizeHint().width()) << name;
        EXPECT_LE(button->geometry().bottom(), about.height()) << name;
    }
    auto* ok = about.findChild<QPushButton*>("cmdOK");
    auto* sysinfo = about.findChild<QPushButton*>("cmdSysinfo");
    EXPECT_LT(ok->geometry().bottom(), sysinfo->geometry().top());
    EXPECT_FALSE(about.findChild<QLabel*>("imgIcon")->pixmap().isNull());

    if (QWidget* help = tarn::helpTopicsWindow()) help->close();
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(sysinfo->isDefault());
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_F1);
    QWidget* help = tarn::helpTopicsWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    auto* tabs = help->findChild<QTabWidget*>("tabHelp");
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Contents");
    help->close();
    EXPECT_TRUE(about.isVisible());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

// A stand-in system information program that writes its name to a file and ends.
void writeProgram(const QString& folder, const QString& name, const QString& marker) {
    QFile file(folder + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("#!/bin/sh\necho %1 > '%2'\n").arg(name, marker).toUtf8());
    file.close();
    ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

TEST(About, SystemInfoStartsTheFirstProgramFoundOrSaysThereIsNone) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto restorePath = qScopeGuard([saved = qgetenv("PATH")] { qputenv("PATH", saved); });
    qputenv("PATH", QFile::encodeName(folder.path()));
    tarn::frmAbout about;
    about.show();
    QString text;
    ModalWatch unavailable([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(about.findChild<QPushButton*>("cmdSysinfo"), Qt::LeftButton);
    EXPECT_TRUE(unavailable.seen());
    EXPECT_EQ(text, "System Information Is Unavailable At This Time");
    EXPECT_TRUE(about.isVisible());

    // The second and third of the list are there; the second must win.
    const QString marker = folder.path() + "/started";
    const QStringList programs = tarn::frmAbout::systemInfoPrograms();
    ASSERT_GE(programs.size(), 3);
    writeProgram(folder.path(), programs.at(2), marker);
    writeProgram(folder.path(), programs.at(1), marker);
    qint64 pid = 0;
    ModalWatch watch([](QWidget* modal) { modal->close(); }, nullptr, 2000);
    EXPECT_TRUE(about.StartSysInfo(&pid));
    EXPECT_FALSE(watch.seen()) << "the unavailable message was shown";
    EXPECT_GT(pid, 0);
    QByteArray written;
    const bool wrote = QTest::qWaitFor(
        [&] {
            QFile file(marker);
            return file.open(QIODevice::ReadOnly) && (written = file.readAll()).endsWith('\n');
        },
        10000);
    // The program ends by itself once it has written; one that never wrote is ended here.
    if (!wrote && pid > 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
    EXPECT_EQ(written.trimmed(), programs.at(1).toUtf8());
}

}  // namespace
