// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: its texts and layout, OK, F1, and System Info with and without
// a system information program on PATH.

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <thread>

#include "Help.h"
#include "ModalWatch.h"
#include "frmAbout.h"

namespace {

template <class T>
T* child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// PATH set to one folder for the life of the object.
class PathOverride {
  public:
    explicit PathOverride(const QString& folder) : saved_(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(folder));
    }
    ~PathOverride() { qputenv("PATH", saved_); }

  private:
    QByteArray saved_;
};

TEST(About, ShowsTitleVersionAndButtons) {
    tarn::frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About Tarn");
    auto* name = child<QLabel>(&about, "lblProgramNameAndVersion");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "Tarn - Version 2.0.3");
    auto* notice = child<QLabel>(&about, "lblCopyright");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->text().isEmpty());
    auto* ok = child<QPushButton>(&about, "cmdOK");
    auto* sysinfo = child<QPushButton>(&about, "cmdSysinfo");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(sysinfo, nullptr);
    EXPECT_EQ(ok->text(), "&OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(sysinfo->text(), "&System Info...");
    EXPECT_FALSE(sysinfo->isDefault());
    auto* icon = child<QLabel>(&about, "imgIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
}

TEST(About, KeepsTheDesignProportionsAndFitsItsTexts) {
    tarn::frmAbout about;
    about.show();
    // Fixed size, in the design's 5250 x 2070 proportion (pixels round).
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_NEAR(about.width() / double(about.height()), 5250.0 / 2070.0, 0.03);
    const QFontMetrics metrics(about.font());
    for (const char* name : {"lblProgramNameAndVersion", "lblCopyright"}) {
        auto* label = child<QLabel>(&about, name);
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text())) << name;
        EXPECT_GE(label->height(), metrics.height()) << name;
        EXPECT_LE(label->geometry().right(), about.width()) << name;
    }
    for (const char* name : {"cmdOK", "cmdSysinfo"}) {
        auto* button = child<QPushButton>(&about, name);
        EXPECT_GE(button->width(), button->sizeHint().width()) << name;
        EXPECT_LE(button->geometry().bottom(), about.height()) << name;
    }
    auto* ok = child<QPushButton>(&about, "cmdOK");
    auto* sysinfo = child<QPushButton>(&about, "cmdSysinfo");
    EXPECT_LT(ok->geometry().bottom(), sysinfo->geometry().top());
    // The etched separator: grey above white, one under the other, above the buttons.
    auto* grey = child<QWidget>(&about, "Line1_1");
    auto* white = child<QWidget>(&about, "Line1_0");
    ASSERT_NE(grey, nullptr);
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(grey->palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_EQ(white->palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_EQ(white->y(), grey->y() + grey->height());
    EXPECT_EQ(white->geometry().left(), grey->geometry().left());
    EXPECT_EQ(white->width(), grey->width());
    EXPECT_LT(white->geometry().bottom(), ok->y());
}

TEST(About, OkClosesTheBox) {
    tarn::frmAbout about;
    about.show();
    QTest::mouseClick(child<QPushButton>(&about, "cmdOK"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(About, F1OpensTheHelpTopics) {
    if (QWidget* help = tarn::helpTopicsWindow()) help->close();
    tarn::frmAbout about;
    about.show();
    auto* ok = child<QPushButton>(&about, "cmdOK");
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_F1);
    QWidget* help = tarn::helpTopicsWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    auto* tabs = help->findChild<QTabWidget*>("tabHelp");
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Contents");
    EXPECT_TRUE(about.isVisible());
    help->close();
}

TEST(About, WithoutASystemInformationProgramSaysSo) {
    QTemporaryDir emptyFolder;
    ASSERT_TRUE(emptyFolder.isValid());
    PathOverride path(emptyFolder.path());
    tarn::frmAbout about;
    about.show();

    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    ModalWatch watch([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(child<QPushButton>(&about, "cmdSysinfo"), Qt::LeftButton);

    EXPECT_TRUE(watch.seen());
    EXPECT_EQ(title, "About Dorvale");
    EXPECT_EQ(text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(about.isVisible());
}

// A stand-in system information program that writes its name to a file and ends.
void writeProgram(const QString& folder, const QString& name, const QString& marker) {
    QFile file(folder + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("#!/bin/sh\necho %1 > '%2'\n").arg(name, marker).toUtf8());
    file.close();
    ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

TEST(About, StartsTheFirstSystemInformationProgramFound) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString marker = folder.path() + "/started";
    const QStringList programs = tarn::frmAbout::systemInfoPrograms();
    ASSERT_GE(programs.size(), 3);
    // The second and third of the list are there; the second must win.
    writeProgram(folder.path(), programs.at(2), marker);
    writeProgram(folder.path(), programs.at(1), marker);
    PathOverride path(folder.path());

    tarn::frmAbout about;
    qint64 pid = 0;
    bool started = false;
    ModalWatch watch([](QWidget* modal) { modal->close(); }, nullptr, 2000);
    started = about.StartSysInfo(&pid);
    EXPECT_TRUE(started);
    EXPECT_FALSE(watch.seen()) << "the unavailable message was shown";
    EXPECT_GT(pid, 0);

    QByteArray written;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        QFile file(marker);
        if (file.open(QIODevice::ReadOnly) && (written = file.readAll()).endsWith('\n')) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The program ends by itself once it has written; one that never wrote is ended here.
    if (!written.endsWith('\n') && pid > 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
    EXPECT_EQ(written.trimmed(), programs.at(1).toUtf8());
}

}  // namespace
