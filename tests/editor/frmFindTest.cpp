// SPDX-License-Identifier: GPL-3.0-or-later
// The find dialog against a text area: its controls, the enabling rules, the
// searches and replacements it makes in the text area, the message when
// nothing is found, and that closing only hides it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "EditorText.h"
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
                if (box && box->objectName() == QLatin1String("msgCannotFind") &&
                    box->windowTitle() == QLatin1String("Tarn Macro Editor") &&
                    box->icon() == QMessageBox::Warning)
                    message = box->text();
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

TEST_F(FindDialog, ControlsCaptionsAndTabOrder) {
    struct Caption {
        const char* name;
        const char* text;
    };
    for (const Caption& c : {Caption{"Label1", "&Find What:"}, {"lblReplace", "Replace &With:"}})
        EXPECT_EQ(control<QLabel>(c.name)->text(), QLatin1String(c.text));
    EXPECT_EQ(control<QGroupBox>("Frame1")->title(), QLatin1String("&Direction"));
    EXPECT_EQ(control<QGroupBox>("Frame2")->title(), QLatin1String("Options"));
    for (const Caption& c : {Caption{"optDirection_0", "Up"},
                             {"optDirection_1", "Down"},
                             {"optDirection_2", "All"},
                             {"chkReplace", "Re&place"},
                             {"chkCase", "Match &Case"},
                             {"cmdFind", "Find &Next"},
                             {"cmdReplace", "&Replace"},
                             {"cmdcancel", "&Cancel"}})
        EXPECT_EQ(control<QAbstractButton>(c.name)->text(), QLatin1String(c.text)) << c.name;
    EXPECT_EQ(find->windowTitle(), QLatin1String("Find"));
    EXPECT_TRUE(control<QPushButton>("cmdFind")->isDefault());
    EXPECT_TRUE(control<QRadioButton>("optDirection_2")->isChecked());
    EXPECT_EQ(control<QRadioButton>("optDirection_0")->parentWidget()->objectName(), "Frame1");
    EXPECT_EQ(control<QCheckBox>("chkCase")->parentWidget()->objectName(), "Frame2");
    // All above Up above Down; the buttons in a column at the right.
    EXPECT_LT(control<QWidget>("optDirection_2")->y(), control<QWidget>("optDirection_0")->y());
    EXPECT_LT(control<QWidget>("optDirection_0")->y(), control<QWidget>("optDirection_1")->y());
    EXPECT_GT(control<QWidget>("cmdFind")->x(), control<QWidget>("txtFind")->geometry().right());

    const char* order[] = {"txtFind",        "txtReplace", "optDirection_2", "optDirection_0",
                           "optDirection_1", "chkReplace", "chkCase",        "cmdFind",
                           "cmdReplace",     "cmdcancel"};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget* next = control<QWidget>(order[i - 1])->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next->objectName(), QLatin1String(order[i]));
    }
}

TEST_F(FindDialog, ReplaceControlsFollowTheTickAndFindNeedsAText) {
    find->showFindReplace();
    auto* replace = control<QCheckBox>("chkReplace");
    for (bool ticked : {true, false, true}) {
        replace->setChecked(ticked);
        for (const char* name : {"lblReplace", "txtReplace", "cmdReplace"})
            EXPECT_EQ(control<QWidget>(name)->isEnabled(), ticked) << name;
    }
    QTest::keyClicks(control<QLineEdit>("txtFind"), "ab");
    EXPECT_TRUE(control<QPushButton>("cmdFind")->isEnabled());
    control<QLineEdit>("txtFind")->clear();
    EXPECT_FALSE(control<QPushButton>("cmdFind")->isEnabled());
}

TEST_F(FindDialog, SearchesSelectInTheTextAreaAndReportTheEnd) {
    edit->setPlainText(QStringLiteral("abc abc"));
    find->showFindReplace();
    QTest::keyClicks(control<QLineEdit>("txtFind"), "ABC");
    EXPECT_EQ(click("cmdFind"), QString());
    EXPECT_EQ(selection(), (Selection{0, 3}));
    EXPECT_EQ(click("cmdFind"), QString());
    EXPECT_EQ(selection(), (Selection{4, 3}));
    EXPECT_EQ(click("cmdFind"), QStringLiteral("Cannot find \"ABC\" - Search / Replace complete"));
    control<QCheckBox>("chkCase")->setChecked(true);
    EXPECT_FALSE(click("cmdFind").isEmpty());
}

TEST_F(FindDialog, ReplacesOneSelectionAtATimeThenSearchesOn) {
    edit->setPlainText(QStringLiteral("ab ab x"));
    find->showFindReplace();
    QTest::keyClicks(control<QLineEdit>("txtFind"), "ab");
    control<QCheckBox>("chkReplace")->setChecked(true);
    QTest::keyClicks(control<QLineEdit>("txtReplace"), "ÄÖ!");
    // No selection yet: only a search.
    EXPECT_EQ(click("cmdReplace"), QString());
    EXPECT_EQ(exactText(*edit), QStringLiteral("ab ab x"));
    EXPECT_EQ(selection(), (Selection{0, 2}));
    EXPECT_EQ(click("cmdReplace"), QString());
    EXPECT_EQ(exactText(*edit), QStringLiteral("ÄÖ! ab x"));
    EXPECT_EQ(selection(), (Selection{4, 2}));
    EXPECT_FALSE(click("cmdReplace").isEmpty());
    EXPECT_EQ(exactText(*edit), QStringLiteral("ÄÖ! ÄÖ! x"));
    // A selection that is no match is replaced all the same.
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(8);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    click("cmdReplace");
    EXPECT_EQ(exactText(*edit), QStringLiteral("ÄÖ! ÄÖ! ÄÖ!"));
}

TEST_F(FindDialog, ClosingHidesAndFindNextStillSearches) {
    edit->setPlainText(QStringLiteral("one two one"));
    find->showFindReplace();
    QTest::keyClicks(control<QLineEdit>("txtFind"), "one");
    find->close();
    EXPECT_FALSE(find->isVisible());
    EXPECT_NE(find, nullptr);
    find->findNext();
    EXPECT_EQ(selection(), (Selection{0, 3}));
    find->findNext();
    EXPECT_EQ(selection(), (Selection{8, 3}));
    EXPECT_FALSE(find->isVisible());
    // Esc hides it too; Find / Replace brings it back emptied.
    find->show();
    QTest::keyClick(control<QLineEdit>("txtFind"), Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
    EXPECT_EQ(control<QLineEdit>("txtFind")->text(), QStringLiteral("one"));
    find->showFindReplace();
    EXPECT_TRUE(find->isVisible());
    EXPECT_TRUE(control<QLineEdit>("txtFind")->text().isEmpty());
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
    edit->setPlainText(QStringLiteral("xy xy\nxy"));
    find->showFindReplace();
    QTest::keyClicks(control<QLineEdit>("txtFind"), "xy");
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
        if (round % 20 == 19) edit->setPlainText(exactText(*edit) + QStringLiteral("\nxy"));
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

TEST_F(FindDialog, F1OpensHelpAndIsNotTyped) {
    find->showFindReplace();
    QTest::keyClick(control<QLineEdit>("txtFind"), Qt::Key_F1);
    ASSERT_NE(helpTopicsWindow(), nullptr);
    EXPECT_TRUE(helpTopicsWindow()->isVisible());
    EXPECT_TRUE(control<QLineEdit>("txtFind")->text().isEmpty());
    helpTopicsWindow()->close();
}

}  // namespace
}  // namespace tarn::editor
