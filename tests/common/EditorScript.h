// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editor's questions, reports and file dialogs answered from scripts and
// recorded: for the tests of the editor's windows and of the player's buttons
// into them, where a real message box or file dialog would wait for a user.

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "CommonDialog.h"
#include "frmMacroEditor.h"

namespace tarn::editor::test {

// One message box the editor showed: a question (answered from the script,
// No once it is used up) or a report.
struct Message {
    bool question;
    QString title;
    QString text;
};

struct EditorScript {
    void install() {
        frmMacroEditor::setQuestionHook(
            [this](QWidget*, const QString& title, const QString& text) {
                return answer(title, text);
            });
        frmMacroEditor::setReportHook(
            [this](QWidget*, const QString& title, const QString& text) { take(title, text); });
        CommonDialog::setAnswerHook([this](const CommonDialog::Request& request) {
            mDialogs.push_back(request);
            const QString answer = mDialogAnswers.empty() ? QString() : mDialogAnswers.front();
            if (!mDialogAnswers.empty()) mDialogAnswers.pop_front();
            return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
        });
    }
    static void uninstall() {
        frmMacroEditor::setQuestionHook(nullptr);
        frmMacroEditor::setReportHook(nullptr);
        CommonDialog::setAnswerHook(nullptr);
    }

    // A question, recorded and answered from the script.
    bool answer(const QString& title, const QString& text) {
        mMessages.push_back({true, title, text});
        const bool yes = !mAnswers.empty() && mAnswers.front();
        if (!mAnswers.empty()) mAnswers.pop_front();
        return yes;
    }
    // A report, recorded.
    void take(const QString& title, const QString& text) {
        mMessages.push_back({false, title, text});
    }

    // The messages shown so far, each as "title: text", a question's with "? "
    // in front.
    QStringList shown() const {
        QStringList lines;
        for (const Message& message : mMessages)
            lines << (message.question ? "? " : "") + message.title + ": " + message.text;
        return lines;
    }

    // Scripts, used up from the front: answers to the next questions (No when
    // empty), and the paths the next file dialogs return (empty: cancelled).
    std::deque<bool> mAnswers;
    std::deque<QString> mDialogAnswers;
    // What happened.
    std::vector<Message> mMessages;
    std::vector<CommonDialog::Request> mDialogs;
};

}  // namespace tarn::editor::test
