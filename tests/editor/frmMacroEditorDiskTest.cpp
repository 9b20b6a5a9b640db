// SPDX-License-Identifier: GPL-3.0-or-later
// The file on disk beside the window: another program's change and a copy left
// by a save cut short.
#include "EditorTest.h"

namespace tarn::editor::test {
namespace {

class EditorDiskTest : public EditorTest {
  protected:
    // Waits, at most 10 s, for the window to have shown this many messages.
    bool messagesReach(std::size_t count) {
        return QTest::qWaitFor([&] { return mMessages.size() >= count; }, 10000);
    }
    std::string all() const { return shown().join("|").toStdString(); }
    std::string last() const { return shown().last().toStdString(); }
};

TEST_F(EditorDiskTest, AnotherProgramsChangeIsOfferedAndASaveAsksBeforeWritingOverIt) {
    const QString file = put("shared.mcr", "Wait 1\r\n");
    auto form = editor();
    ASSERT_TRUE(form->OpenMacro(file));
    type(*form, "Rem mine");
    // Another program appends a line: the user keeps their text for now.
    put("shared.mcr", "Wait 1\r\nWait 2\r\n");
    ASSERT_TRUE(messagesReach(1));
    const QString changed =
        "? Tarn Macro Editor: " + file + " was changed on disk by another program.\r\n\r\n";
    EXPECT_EQ(all(), (changed + "Load it and lose your changes?").toStdString());
    // Saving over the change asks first; No keeps the other program's line.
    const QString saveOver = "? Tarn Macro Editor: " + file +
                             " was changed on disk by another program since the editor opened "
                             "or saved it.\r\n\r\nSave over it? The other program's change is "
                             "then lost.";
    EXPECT_FALSE(form->SaveFile());
    EXPECT_EQ(last(), saveOver.toStdString());
    EXPECT_EQ(contents(file), "Wait 1\r\nWait 2\r\n");
    EXPECT_TRUE(form->document().dirty());
    mAnswers = {true};
    EXPECT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(file), "Rem mineWait 1\r\n");
    // The editor's own save is no change; the next one of another program is,
    // and Yes loads it.
    put("shared.mcr", "Wait 3\r\n");
    EXPECT_EQ(mMessages.size(), 3u);
    mAnswers = {true};
    ASSERT_TRUE(messagesReach(4));
    EXPECT_EQ(last(), (changed + "Load it again?").toStdString());
    EXPECT_EQ(textOf(*form), "Wait 3\n");
    EXPECT_FALSE(form->document().dirty());
    // A file replaced by another program's save (a new file under the name)
    // is still watched.
    QFile::remove(file);
    put("shared.mcr.new", "Wait 4\r\n");
    ASSERT_TRUE(QFile::rename(path("shared.mcr.new"), file));
    mAnswers = {true};
    ASSERT_TRUE(messagesReach(5));
    EXPECT_EQ(last(), (changed + "Load it again?").toStdString());
    EXPECT_EQ(textOf(*form), "Wait 4\n");
    EXPECT_EQ(mMessages.size(), 5u);
}

TEST_F(EditorDiskTest, ACopyLeftByASaveCutShortIsOfferedAndNeverRemovedUnasked) {
    const QString file = put("cut.mcr", "Wait 1\r\n");
    const QString copy = put(".cut.mcr.42.tmp", "Wait 2\r\n");
    auto form = editor();
    // Declined and kept: the file opens and the copy stays.
    mAnswers = {false, false};
    ASSERT_TRUE(form->OpenMacro(file));
    ASSERT_EQ(mMessages.size(), 2u);
    EXPECT_TRUE(mMessages[0].text.startsWith("A save of " + file +
                                             " was cut short and left a copy of the text it "
                                             "was saving:\r\n" +
                                             copy + " (8 bytes, "));
    EXPECT_EQ(mMessages[1].text, "Delete the copy " + copy + "?");
    EXPECT_EQ(textOf(*form), "Wait 1\n");
    EXPECT_EQ(contents(copy), "Wait 2\r\n");
    // Opened in place of the file: a change to save, after which the copy goes.
    mAnswers = {true};
    ASSERT_TRUE(form->OpenMacro(file));
    EXPECT_EQ(textOf(*form), "Wait 2\n");
    EXPECT_EQ(form->document().fileName(), file);
    EXPECT_TRUE(form->document().dirty());
    EXPECT_EQ(contents(file), "Wait 1\r\n");
    EXPECT_EQ(contents(copy), "Wait 2\r\n");
    ASSERT_TRUE(form->SaveFile());
    EXPECT_EQ(contents(file), "Wait 2\r\n");
    EXPECT_FALSE(QFile::exists(copy));
    // Deleted at the user's word.
    put(".cut.mcr.43.tmp", "Wait 3\r\n");
    mAnswers = {false, true};
    ASSERT_TRUE(form->OpenMacro(file));
    EXPECT_FALSE(QFile::exists(path(".cut.mcr.43.tmp")));
    EXPECT_EQ(textOf(*form), "Wait 2\n");
}

}  // namespace
}  // namespace tarn::editor::test
