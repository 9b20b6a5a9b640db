// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery copy of unsaved text: private to the user, found only once the
// editor that wrote it is gone, kept and removed by the window as the text is
// changed, saved and discarded.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QUrl>

#include "EditorTest.h"
#include "RecoveryFile.h"

namespace tarn::editor::test {
namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

QStringList copies() {
    return QDir(recoveryFolder()).entryList({"*.unsaved"}, QDir::Files);
}

class Recovery : public EditorTest {
  protected:
    void TearDown() override {
        for (const QString& name : QDir(recoveryFolder()).entryList(QDir::Files))
            QFile::remove(recoveryFolder() + "/" + name);
        EditorTest::TearDown();
    }
};

TEST_F(Recovery, ACopyIsPrivateAndFoundOnlyOnceItsEditorIsGone) {
    const QString name = QString::fromUtf8("/home/ann/caf\xC3\xA9 100%\nnew.mcr");
    const QString text = QString::fromUtf8("Rem caf\xC3\xA9\n\nWait 1\n");
    RecoveryFile mine;
    ASSERT_TRUE(mine.write(name, text));
    EXPECT_EQ(modeOf(recoveryFolder()), 0700u);
    EXPECT_EQ(modeOf(mine.path()), 0600u);
    // This editor still runs.
    EXPECT_TRUE(leftTexts().empty());
    // One killed after writing its copy.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RecoveryFile gone;
        ::_exit(gone.write(QString(), "Untitled text") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    std::vector<LeftText> left = leftTexts();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].fileName.isEmpty());
    EXPECT_EQ(left[0].text, "Untitled text");
    removeLeftText(left[0]);
    EXPECT_TRUE(leftTexts().empty());
    // Ours, once the lock is let go as an ended process lets it go.
    {
        RecoveryFile ended;
        ASSERT_TRUE(ended.write(name, text));
    }
    left = leftTexts();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].fileName, name);
    EXPECT_EQ(left[0].text, text);
    removeLeftText(left[0]);
    mine.remove();
    EXPECT_EQ(QDir(recoveryFolder()).entryList(QDir::Files), QStringList{});
}

TEST_F(Recovery, TheWindowKeepsUnsavedTextAndDropsItOnSaveAndOnDiscard) {
    auto form = editor();
    const auto kept = [&](const QString& text) {
        return QTest::qWaitFor(
            [&] {
                if (copies().size() != 1) return false;
                return contents(recoveryFolder() + "/" + copies().front()).endsWith(text.toUtf8());
            },
            10000);
    };
    type(*form, "Wait 1");
    ASSERT_TRUE(kept("\nWait 1"));
    EXPECT_EQ(modeOf(recoveryFolder() + "/" + copies().front()), 0600u);
    type(*form, "\nWait 2");
    ASSERT_TRUE(kept("\nWait 1\nWait 2"));
    mDialogAnswers = {path("saved.mcr")};
    ASSERT_TRUE(form->SaveFileAs());
    EXPECT_EQ(copies(), QStringList{});
    type(*form, "0");
    ASSERT_TRUE(kept(
        QString("%1\nWait 1\nWait 20").arg(QString(QUrl::toPercentEncoding(path("saved.mcr"))))));
    mAnswers = {false};
    form->mnuFileNew_Click();
    EXPECT_EQ(copies(), QStringList{});
}

}  // namespace
}  // namespace tarn::editor::test
