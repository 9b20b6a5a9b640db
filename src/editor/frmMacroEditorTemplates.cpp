// SPDX-License-Identifier: GPL-3.0-or-later
// The Wizard menu's templates: each entry builds its commented example, keeps
// it as the document's last template and inserts it with InsertText, so one Undo takes it out
// again. Run and RunExecute ask for the file first with the window's common
// dialog, which keeps the last file name between uses.

#include <QAction>
#include <QEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include "CommonDialog.h"
#include "Failure.h"
#include "frmMacroEditor.h"
#include "modTemplates.h"

namespace tarn::editor {

namespace {

// Linux programs carry no extension: the first choice shows the files that
// may be run (see CommonDialog), the second every file.
const QString kRunFilter = QStringLiteral("Programs|") + CommonDialog::kExecutablesMask +
                           QStringLiteral("|All Files(*.*)|*.*");
const QString kRunExecuteFilter = QStringLiteral("All Files(*.*)|*.*");

// Until the window manager has given the editor the focus back, keys typed
// straight after a box closes would go to the closing box or to whatever
// window the focus falls to meanwhile, and be lost: the text area holds the
// keyboard until the editor is active again, a second at most. Keys the
// server had already sent to the box before the hold began are still on
// their way, so the box itself is kept (hidden) until the hold ends, and
// the hold takes them for the text area too. The editor's shortcuts work
// meanwhile as ever.
class KeyboardHeld : public QObject {
  public:
    KeyboardHeld(QWidget* poEditor, QWidget* poText, QWidget* poBox)
        : QObject(poText), editor_(poEditor), text_(poText), box_(poBox) {
        text_->grabKeyboard();
        text_->installEventFilter(this);
        poEditor->installEventFilter(this);
        QTimer::singleShot(1000, this, &KeyboardHeld::release);
    }
    ~KeyboardHeld() override {
        if (box_) box_->deleteLater();
    }

  protected:
    bool eventFilter(QObject* poWatched, QEvent* poEvent) override {
        if (poWatched == editor_) {
            if (poEvent->type() == QEvent::WindowActivate) release();
            return false;
        }
        if (poEvent->type() != QEvent::KeyPress) return false;
        const QKeySequence typed(static_cast<QKeyEvent*>(poEvent)->keyCombination());
        for (QAction* action : editor_->findChildren<QAction*>()) {
            if (action->isEnabled() && !action->shortcut().isEmpty() &&
                action->shortcut() == typed) {
                action->trigger();
                return true;
            }
        }
        return false;
    }

  private:
    void release() {
        text_->releaseKeyboard();
        deleteLater();
    }

    QWidget* editor_;
    QWidget* text_;
    QPointer<QWidget> box_;
};

// The run wait box, which hands the keyboard to the text area as it closes
// and is deleted once the text area has let it go.
class RunWaitBox : public QInputDialog {
  public:
    RunWaitBox(QWidget* poEditor, QWidget* poText)
        : QInputDialog(poEditor), editor_(poEditor), text_(poText) {}

    void done(int piResult) override {
        new KeyboardHeld(editor_, text_, this);
        QInputDialog::done(piResult);
    }

  private:
    QWidget* editor_;
    QWidget* text_;
};

}  // namespace

void frmMacroEditor::connectTemplates() {
    const std::pair<const char*, QString (*)()> plain[] = {
        {"mnuMacroInsertSetfocus", &SetFocusTemplate},
        {"mnuMacroInsertSend", &SendTemplate},
        {"mnuMacroInsertTimeOut", &TimeOutTemplate},
        {"mnuMacroInsertGetWindowID", &GetWindowIDTemplate},
        {"mnuMacroInsertGetProcessID", &GetProcessIDTemplate},
        {"mnuMacroInsertCloseWndow", &CloseWindowTemplate},
        {"mnuMacroInsertKillProcess", &KillProcessTemplate},
        {"mnuMacroInsertShutDownWIndows", &ShutDownWindowsTemplate},
    };
    for (const auto& [name, build] : plain) {
        connect(entry(QLatin1String(name)), &QAction::triggered, this, [this, build = build] {
            mDocument->setLastTemplate(build());
            InsertText(mDocument->lastTemplate());
        });
    }
    connect(entry(QStringLiteral("mnuMacroInsertWait")), &QAction::triggered, this, [this] {
        mDocument->setLastTemplate(WaitTemplate(miRunWait));
        InsertText(mDocument->lastTemplate());
    });
    // Remark is the one entry that leaves the last template as it was.
    connect(entry(QStringLiteral("mnuMacroInsertRem")), &QAction::triggered, this,
            [this] { InsertText(RemarkTemplate()); });
    connect(entry(QStringLiteral("mnuMacroInsertRun")), &QAction::triggered, this,
            [this] { mnuMacroInsertRun_Click(); });
    connect(entry(QStringLiteral("mnuMacroInsertRunExecute")), &QAction::triggered, this,
            [this] { mnuMacroInsertRunExecute_Click(); });
    connect(entry(QStringLiteral("mnuSetDefaultRunWait")), &QAction::triggered, this,
            [this] { mnuSetDefaultRunWait_Click(); });
}

void frmMacroEditor::mnuMacroInsertRun_Click() {
    cdlgMac->setFlags(CommonDialog::kFileDialogFlags);
    cdlgMac->setDialogTitle(QStringLiteral("Find Program To Run"));
    cdlgMac->setFilter(kRunFilter);
    try {
        cdlgMac->ShowOpen();
    } catch (const Failure&) {
        // Cancelled or failed: nothing is inserted and nothing is said.
        return;
    }
    mDocument->setLastTemplate(RunTemplate(cdlgMac->FileName(), miRunWait));
    InsertText(mDocument->lastTemplate());
}

void frmMacroEditor::mnuMacroInsertRunExecute_Click() {
    cdlgMac->setFlags(CommonDialog::kFileDialogFlags);
    cdlgMac->setDialogTitle(QStringLiteral("Find File to Associate and Run or Print"));
    cdlgMac->setFilter(kRunExecuteFilter);
    try {
        cdlgMac->ShowOpen();
    } catch (const Failure&) {
        return;
    }
    mDocument->setLastTemplate(RunExecuteTemplate(cdlgMac->FileName(), miRunWait));
    InsertText(mDocument->lastTemplate());
}

void frmMacroEditor::mnuSetDefaultRunWait_Click() {
    AskRunWait();
}

void frmMacroEditor::AskRunWait() {
    miRunWait = readRunWait(miRunWait);
    // Deleted by the keyboard hold its closing starts (or with the editor).
    auto* box = new RunWaitBox(this, txtEdit);
    box->setObjectName(QStringLiteral("inputRunWait"));
    box->setWindowTitle(QStringLiteral("Set Default Run Wait Time"));
    box->setLabelText(
        QStringLiteral("Enter the number of seconds to pause before a program, "
                       "started with the Run command, begins sending keystrokes"));
    box->setInputMode(QInputDialog::TextInput);
    box->setTextValue(QString::number(miRunWait));
    // Cancel answers an empty text, which changes nothing.
    const QString answer = box->exec() == QDialog::Accepted ? box->textValue() : QString();
    miRunWait = applyRunWaitAnswer(answer, miRunWait);
}

}  // namespace tarn::editor
