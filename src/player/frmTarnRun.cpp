// SPDX-License-Identifier: GPL-3.0-or-later
// Run control of the player window: Start and Stop, the line report, the
// activity row while a trace is written, the "Retry ?" question and the end
// of the session. The run itself is MacroRun's.
#include <QLabel>
#include <QLineEdit>

#include "MessageBoxes.h"
#include "frmTarn.h"

namespace tarn {

void frmTarn::connectRun() {
    mRun.setInteractive(mbInteractive);
    mRun.MacroFile = [this] { return txtMacroFile->text().toStdString(); };
    mRun.Activity = [this](const std::string& psvLine) {
        lblActivity->setText(QString::fromStdString(psvLine));
    };
    mRun.TraceOpened = [this](bool pbOpen) {
        if (mbInteractive) growByActivityRow(pbOpen);
    };
    mRun.Question = [this](const std::string& psvTitle, const std::string& psvText) {
        QWidget* owner = isVisible() ? this : nullptr;
        return mQuestion(owner, QString::fromStdString(psvTitle), QString::fromStdString(psvText));
    };
    mRun.SessionEnding = [this] {
        if (mbInteractive) close();
    };
}

void frmTarn::cmdGo_Click() {
    mRun.start();
    if (!mbInteractive) close();
}

void frmTarn::cmdStop_Click() {
    mRun.stop();
}

bool frmTarn::askWithMessageBox(QWidget* poOwner, const QString& psvTitle, const QString& psvText) {
    // A long macro line is wrapped inside the box instead of running off its edge.
    return askYesNo(poOwner, psvTitle, psvText);
}

}  // namespace tarn
