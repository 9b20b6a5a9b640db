// SPDX-License-Identifier: GPL-3.0-or-later
// The find dialog against a text area, and the search alone.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "EditorText.h"
#include "FindIt.h"
#include "Help.h"
#include "ModalWatch.h"
#include "frmFind.h"

namespace tarn::editor {
namespace {

class FindDialog : public ::testing::Test {
  protected:
    FindDialog() {
        edit = new QPlainTextEdit(&editor);
        find = new frmFind(edit, &editor);
        editor.show();
    }

    template <typename T>
    T* control(const char* name) {
        T* widget = find->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QLineEdit* txtFind() { return control<QLineEdit>("txtFind"); }

    Selection selection() const {
        const QTextCursor c = edit->textCursor();
        return {c.selectionStart(), c.selectionEnd() - c.selectionStart()};
    }

    // Clicks the button and answers a "Cannot find" box if one comes; returns
    // its text (empty when none came).
    QString click(const char* button) {
        QString message;
        ModalWatch watch(
            [&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (box && box->objectName() == "msgCannotFind") message = box->text();
                modal->close();
            },
            nullptr, 1000);
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
        return message;
    }

    QWidget editor;
    QPlainTextEdit* edit;
    frmFind* find;
};

// All comes first in the tab order and is checked at first (the searches
// show it); Find Next is the default. The replace controls follow the tick,
// and Find needs a text.
TEST_F(FindDialog, ControlsInTheirOrderAndEnabledByTheirRules) {
    const char* order[] = {"txtFind",        "txtReplace", "optDirection_2", "optDirection_0",
                           "optDirection_1", "chkReplace", "chkCase",        "cmdFind",
                           "cmdReplace",     "cmdcancel"};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget* next = control<QWidget>(order[i - 1])->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next->objectName(), QLatin1String(order[i]));
    }
    find->showFindReplace();
    auto* replace = control<QCheckBox>("chkReplace");
    for (bool ticked : {true, false, true}) {
        replace->setChecked(ticked);
        for (const char* name : {"lblReplace", "txtReplace", "cmdReplace"})
            EXPECT_EQ(control<QWidget>(name)->isEnabled(), ticked) << name;
    }
    QTest::keyClicks(txtFind(), "ab");
    EXPECT_TRUE(control<QPushButton>("cmdFind")->isEnabled());
    txtFind()->clear();
    EXPECT_FALSE(control<QPushButton>("cmdFind")->isEnabled());
}

TEST_F(FindDialog, SearchesAndReplacementsSelectInTheTextAreaAndReportTheEnd) {
    edit->setPlainText(QString("abc abc"));
    find->showFindReplace();
    QTest::keyClicks(txtFind(), "ABC");
    QTest::keyClick(txtFind(), Qt::Key_Return);  // Find Next is the default
    EXPECT_EQ(selection(), (Selection{0, 3}));
    EXPECT_EQ(click("cmdFind"), QString());
    EXPECT_EQ(selection(), (Selection{4, 3}));
    EXPECT_EQ(click("cmdFind"), QString("Cannot find \"ABC\" - Search / Replace complete"));
    // The direction is All at first: the next search starts over at the top.
    EXPECT_EQ(click("cmdFind"), QString());
    EXPECT_EQ(selection(), (Selection{0, 3}));
    control<QCheckBox>("chkCase")->setChecked(true);
    EXPECT_FALSE(click("cmdFind").isEmpty());
    // Replace takes one selection at a time, then searches on.
    edit->setPlainText(QString("ab ab x"));
    txtFind()->clear();
    QTest::keyClicks(txtFind(), "ab");
    control<QCheckBox>("chkReplace")->setChecked(true);
    QTest::keyClicks(control<QLineEdit>("txtReplace"), "ÄÖ!");
    // No selection yet: only a search.
    EXPECT_EQ(click("cmdReplace"), QString());
    EXPECT_EQ(exactText(*edit), QString("ab ab x"));
    EXPECT_EQ(selection(), (Selection{0, 2}));
    EXPECT_EQ(click("cmdReplace"), QString());
    EXPECT_EQ(exactText(*edit), QString("ÄÖ! ab x"));
    EXPECT_EQ(selection(), (Selection{4, 2}));
    EXPECT_FALSE(click("cmdReplace").isEmpty());
    EXPECT_EQ(exactText(*edit), QString("ÄÖ! ÄÖ! x"));
    // A selection that is no match is replaced all the same.
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(8);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    click("cmdReplace");
    EXPECT_EQ(exactText(*edit), QString("ÄÖ! ÄÖ! ÄÖ!"));
}

// Closing through the window is covered with the editor's Find Next.
TEST_F(FindDialog, F1IsHelpEscHidesAndFindReplaceBringsItBackEmptied) {
    find->showFindReplace();
    QTest::keyClick(txtFind(), Qt::Key_F1);
    ASSERT_NE(helpTopicsWindow(), nullptr);
    EXPECT_TRUE(helpTopicsWindow()->isVisible());
    EXPECT_TRUE(txtFind()->text().isEmpty());
    helpTopicsWindow()->close();
    QTest::keyClicks(txtFind(), "one");
    QTest::keyClick(txtFind(), Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
    EXPECT_EQ(txtFind()->text(), QString("one"));
    find->showFindReplace();
    EXPECT_TRUE(find->isVisible());
    EXPECT_TRUE(txtFind()->text().isEmpty());
    // With no find text, Find Next opens the dialog.
    find->hide();
    find->findNext();
    EXPECT_TRUE(find->isVisible());
    find->setUnloadFind(true);
    find->close();
    EXPECT_FALSE(find->isVisible());
}

// Searches after every kind of edit find what a search over the text as it now
// is finds (the dialog keeps the text it read through small edits).
TEST_F(FindDialog, SearchesFollowEveryEdit) {
    edit->setPlainText(QString("xy xy\nxy"));
    find->showFindReplace();
    QTest::keyClicks(txtFind(), "xy");
    control<QRadioButton>("optDirection_1")->click();
    const char* inserts[] = {"xy", "\n", "é", "x", "y\nx", "", "ẞxy"};
    unsigned seed = 7;
    auto next = [&](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 60; ++round) {
        QTextCursor cursor = edit->textCursor();
        const int length = edit->document()->characterCount() - 1;
        const int at = int(next(unsigned(length) + 1));
        cursor.setPosition(at);
        cursor.setPosition(std::min(length, at + int(next(3))), QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromUtf8(inserts[next(std::size(inserts))]));
        if (round % 20 == 19) edit->setPlainText(exactText(*edit) + QString("\nxy"));
        const int caret = int(next(unsigned(edit->document()->characterCount())));
        cursor.setPosition(caret);
        edit->setTextCursor(cursor);
        FindState fresh;
        fresh.miDirection = FindDirection::Down;
        fresh.mlLastFind = find->state().mlLastFind;
        const FindOutcome expected = FindIt(fresh, exactText(*edit), {caret, 0}, u"xy", false);
        const QString message = click("cmdFind");
        EXPECT_EQ(message.isEmpty(), expected.found) << round;
        EXPECT_EQ(selection(), expected.selection)
            << round << " " << exactText(*edit).toStdString();
    }
}

TEST(FindIt, SuccessiveSearchesSelectTheseMatches) {
    constexpr FindDirection Up = FindDirection::Up, Down = FindDirection::Down,
                            All = FindDirection::All;
    // Simple case mappings keep every length: "ß" is not "SS", so the match
    // behind it keeps its offset; ẞ and ß, ſ and S, ı and I, the Kelvin sign
    // and k, Σ and ς meet.
    const struct {
        const char* name;
        const char* text;
        const char* find;
        FindDirection direction;
        bool matchCase;
        qsizetype caret;
        std::vector<qsizetype> results;  // the offset selected, or -1 for "Cannot find"
    } cases[] = {
        {"All wraps after the message", "abc abc", "abc", All, false, 2, {0, 4, -1, 0, 4}},
        {"Down starts at the caret", "abc abc", "abc", Down, false, 5, {-1}},
        {"Down from the top", "abc abc", "abc", Down, false, 0, {0, 4, -1, -1}},
        {"Up from behind the second match", "abc abc", "abc", Up, false, 6, {4, 0, -1}},
        {"Up at the top", "abc abc", "abc", Up, false, 0, {-1}},
        {"Case ignored", "abc abc", "ABC", All, false, 0, {0, 4}},
        {"Case matched", "abc ABC", "ABC", All, true, 0, {4, -1, 4}},
        {"Overlapping", "aaaa", "aa", All, false, 0, {0, 1, 2, -1}},
        {"Longer than the text", "ab", "abc", All, false, 0, {-1}},
        {"Lines count one each", "x\ny\nx", "X", All, false, 0, {0, 4}},
        {"Sharp s is one letter", "STRASSE straße STRAẞE", "STRASSE", All, false, 0, {0, -1}},
        {"Capital sharp s", "straße STRAẞE", "STRAßE", All, false, 0, {0, 7, -1}},
        {"Offsets after folded letters", "ßßß äbc ÄBC", "äbc", All, false, 0, {4, 8}},
        {"Other simple folds", "ſ ı K ς", "S I k Σ", All, false, 0, {0}},
        {"Cyrillic and Greek", "Жук ЖУК ΣΟΦΙΑ σοφια", "жук", All, false, 0, {0, 4, -1}},
        {"Supplementary letters", "x 𐐀𐐁 𐐨𐐩", "𐐨𐐩", All, false, 0, {2, 7}},
        {"Supplementary letters by case", "x 𐐀𐐁 𐐨𐐩", "𐐨𐐩", All, true, 0, {7}},
        {"Up over non-ASCII", "ÄBC äbc", "ÄBC", Up, false, 7, {4, 0, -1}},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const QString find = QString::fromUtf8(c.find);
        FindState state;
        state.miDirection = c.direction;
        state.mbFindChanged = true;  // freshly typed
        Selection selection{c.caret, 0};
        std::vector<qsizetype> results;
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            const FindOutcome outcome = FindIt(state, text, selection, find, c.matchCase);
            results.push_back(outcome.found ? outcome.selection.start : -1);
            if (outcome.found) {
                EXPECT_EQ(outcome.selection.length, find.size()) << c.name;
            }
            selection = outcome.selection;
        }
        EXPECT_EQ(results, c.results) << c.name;
    }
}

TEST(FindIt, MovingTheCaretRestartsThereAndNothingFoundLeavesTheSelection) {
    const QString text = QStringLiteral("abc abc abc");
    FindState state;
    state.miDirection = FindDirection::Down;
    state.mbFindChanged = true;
    FindOutcome outcome = FindIt(state, text, {1, 0}, u"abc", false);
    EXPECT_EQ(outcome.selection, (Selection{4, 3}));
    // The user puts the caret at 8: the match starting there is found.
    outcome = FindIt(state, text, {8, 0}, u"abc", false);
    EXPECT_EQ(outcome.selection, (Selection{8, 3}));
    outcome = FindIt(state, text, outcome.selection, u"abc", false);
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(outcome.selection, (Selection{8, 3}));
    // Up from a caret placed by hand starts two characters before it.
    state.miDirection = FindDirection::Up;
    outcome = FindIt(state, text, {6, 0}, u"abc", false);
    EXPECT_EQ(outcome.selection, (Selection{4, 3}));
}

}  // namespace
}  // namespace tarn::editor
