// SPDX-License-Identifier: GPL-3.0-or-later
// The file unit on a text area of its own, without the editor window: what a
// file's bytes become on the way in and back, and the questions and reports
// on the way.
#include <QTextCursor>

#include "EditorTest.h"
#include "MacroDocument.h"
#include "MacroFiles.h"
#include "TextAreaFill.h"

namespace tarn::editor::test {
namespace {

class MacroFilesTest : public EditorTest, protected EditorPrompts {
  protected:
    bool ask(const QString& psvTitle, const QString& psvText) override {
        return answer(psvTitle, psvText);
    }
    void report(const QString& psvTitle, const QString& psvText) override {
        take(psvTitle, psvText);
    }
    // Opens the file as the window does, with the report of its stray bytes.
    bool open(const QString& psvPath) {
        mFiles.clear();
        std::vector<StrayByte> strays;
        const auto fill = [this](const QString& psvText) {
            return FillTextArea(mText, psvText, kFillPieceChars, [](qsizetype) { return true; });
        };
        if (!mFiles.read(psvPath, true, fill, strays)) return false;
        if (!strays.empty()) mFiles.disk().reportStrays(psvPath, strays);
        return true;
    }
    // Typed at the start of the text.
    void typeAtStart(const QString& psvText) { QTextCursor(mText.document()).insertText(psvText); }
    std::string all() const { return shown().join("|").toStdString(); }

    QPlainTextEdit mText;
    MacroDocument mDocument{*mText.document()};
    CommonDialog mDialog;
    MacroFiles mFiles{mDocument, mText, *this, mDialog};
};

TEST_F(MacroFilesTest, StrayBytesAreShownWhereTheyAreAndALineTooLongToOpenAsksFirst) {
    const QByteArray bytes("Rem caf\xC3\xA9 th\xC3\xA9\r\nSend \"\xFFx\"\r\n");
    const QString file = put("stray.mcr", bytes);
    ASSERT_TRUE(open(file));
    EXPECT_EQ(all(), ("Tarn Macro Editor: " + file +
                      " is UTF-8 but for 1 bytes that are not. They are kept as they were, "
                      "shown as boxes, and saved back unchanged:\r\nline 2, column 7: byte FF")
                         .toStdString());
    ASSERT_TRUE(mFiles.write(file));
    EXPECT_EQ(contents(file), bytes);
    // One character more than the editor opens in a line.
    typeAtStart(QString(kMaxMacroLineChars, u'x'));
    mMessages.clear();
    EXPECT_FALSE(mFiles.write(file));
    EXPECT_EQ(all(),
              "? Tarn Macro Editor: Line 1 has 32780 characters, more than the 32768 the "
              "editor opens: the file will not open in the editor again.\r\n\r\nSave it "
              "anyway?");
    EXPECT_EQ(contents(file), bytes);
    mAnswers = {true};
    EXPECT_TRUE(mFiles.write(file));
    EXPECT_EQ(contents(file).size(), bytes.size() + kMaxMacroLineChars);
}

TEST_F(MacroFilesTest, AWindows1252FileThatNoLongerFitsIsSavedAsUtf8WithAMessage) {
    const QString file = put("old.mcr", "Rem caf\xE9\r\n");
    ASSERT_TRUE(open(file));
    EXPECT_EQ(exactText(mText), QString::fromUtf8("Rem caf\xC3\xA9\n"));
    ASSERT_TRUE(mFiles.write(file));
    EXPECT_EQ(contents(file), "Rem caf\xE9\r\n");
    EXPECT_TRUE(mMessages.empty());
    typeAtStart(QString::fromUtf8("\xE2\x82\xAC\xE2\x9C\x93"));  // € fits, ✓ does not
    ASSERT_TRUE(mFiles.write(file));
    EXPECT_EQ(contents(file), "\xE2\x82\xAC\xE2\x9C\x93Rem caf\xC3\xA9\r\n");
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_FALSE(mMessages[0].question);
    EXPECT_TRUE(mMessages[0].text.contains("UTF-8"));
}

}  // namespace
}  // namespace tarn::editor::test
