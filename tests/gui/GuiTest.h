// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the player's GUI tests share: a temporary settings store and trace
// folder for every test, macro files written byte for byte, the recording fake
// platform, and the player's controls found by their object names.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "Twips.h"
#include "frmTarn.h"

// Readable values in failure messages.
inline void PrintTo(const QString& psvText, std::ostream* poOut) {
    *poOut << '"' << psvText.toStdString() << '"';
}
inline void PrintTo(const QPoint& poPoint, std::ostream* poOut) {
    *poOut << '(' << poPoint.x() << ", " << poPoint.y() << ')';
}

namespace tarn::guitest {

std::string readBytes(const QString& psvPath);
void writeBytes(const QString& psvPath, const std::string& psvBytes);
// Where a window of the player's designed size is centred on the screen: its
// frame is not known before it is first shown.
QPoint centred(const frmTarn& poForm);

// The player's stored values: a setting of its title, and the last file.
inline QString stored(const char* psvKey) {
    return GetSetting(appTitle(), kSectionSettings, psvKey, "<none>");
}
inline QString storedLastFile() {
    return GetSetting(executableAppName(), kSectionRecentFileList, kKeyLastFile, "<none>");
}
// Pixels as the settings store them, in twips.
inline QString twipsText(const frmTarn& poForm, int piPixels, Qt::Orientation piDirection) {
    return numberText(static_cast<float>(pixelsToTwips(piPixels, &poForm, piDirection)));
}

// A question hook that records every question and answers from a list (No
// once the list is used up); `before` runs before each answer, with the index
// of the question, so a test can change the world (rewrite the macro).
struct ScriptedQuestions {
    struct Asked {
        QString title;
        QString text;
        bool hadOwner;
    };
    std::vector<bool> answers;
    std::function<void(std::size_t)> before;
    std::vector<Asked> asked;

    frmTarn::QuestionHook hook() {
        return [this](QWidget* owner, const QString& title, const QString& text) {
            const std::size_t index = asked.size();
            asked.push_back({title, text, owner != nullptr});
            if (before) before(index);
            return index < answers.size() && answers[index];
        };
    }
};

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A macro file in the test's folder with exactly these bytes.
    QString macro(const std::string& psvBytes, const QString& psvName = "test.mcr");
    QString path(const QString& psvName) const { return mDir.filePath(psvName); }
    QString tracePath() const { return path("TarnTrace.txt"); }
    std::string trace() const { return readBytes(tracePath()); }

    // A player over the fakes, its trace in the test's folder, its questions
    // answered by `questions`. Form_Load is left to the test.
    std::unique_ptr<frmTarn> makeForm(std::optional<std::string> psvCommandLine = std::nullopt);
    // A loaded interactive player with the file box set to the macro.
    std::unique_ptr<frmTarn> interactiveOn(const QString& psvMacro);

    template <class T>
    static T* control(frmTarn& poForm, const char* psvName) {
        T* found = poForm.findChild<T*>(QLatin1String(psvName));
        EXPECT_NE(found, nullptr) << psvName;
        return found;
    }
    static QLineEdit* fileBox(frmTarn& poForm) {
        return control<QLineEdit>(poForm, "txtMacroFile");
    }
    static QToolButton* button(frmTarn& poForm, const char* psvName) {
        return control<QToolButton>(poForm, psvName);
    }
    static QString activity(frmTarn& poForm) {
        return control<QLabel>(poForm, "lblActivity")->text();
    }

    QTemporaryDir mDir;
    tarn::fake::FakePlatform mFake;
    ScriptedQuestions mQuestions;
};

}  // namespace tarn::guitest
