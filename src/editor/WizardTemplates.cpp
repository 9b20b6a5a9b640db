// SPDX-License-Identifier: GPL-3.0-or-later
#include "WizardTemplates.h"

#include <QAction>
#include <QEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include "CommonDialog.h"
#include "Failure.h"
#include "MacroDocument.h"
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

// The file the dialog was confirmed with; empty when it was cancelled or failed.
QString askFile(CommonDialog& poDialog, const QString& psvTitle, const QString& psvFilter) {
    poDialog.setFlags(CommonDialog::kFileDialogFlags);
    poDialog.setDialogTitle(psvTitle);
    poDialog.setFilter(psvFilter);
    try {
        poDialog.ShowOpen();
    } catch (const Failure&) {
        return QString();
    }
    return poDialog.FileName();
}

}  // namespace

void insertTemplate(MacroDocument& poDocument, const TextInserter& poInsert,
                    const QString& psvTemplate) {
    poDocument.setLastTemplate(psvTemplate);
    poInsert(poDocument.lastTemplate());
}

void insertRunTemplate(MacroDocument& poDocument, const TextInserter& poInsert,
                       CommonDialog& poDialog, qint16 piRunWait) {
    const QString file = askFile(poDialog, QStringLiteral("Find Program To Run"), kRunFilter);
    if (file.isEmpty()) return;
    insertTemplate(poDocument, poInsert, RunTemplate(file, piRunWait));
}

void insertRunExecuteTemplate(MacroDocument& poDocument, const TextInserter& poInsert,
                              CommonDialog& poDialog, qint16 piRunWait) {
    const QString file = askFile(
        poDialog, QStringLiteral("Find File to Associate and Run or Print"), kRunExecuteFilter);
    if (file.isEmpty()) return;
    insertTemplate(poDocument, poInsert, RunExecuteTemplate(file, piRunWait));
}

void askRunWait(QWidget& poEditor, QPlainTextEdit& poText, qint16& piRunWait) {
    piRunWait = readRunWait(piRunWait);
    // Deleted by the keyboard hold its closing starts (or with the editor).
    auto* box = new RunWaitBox(&poEditor, &poText);
    box->setObjectName(QStringLiteral("inputRunWait"));
    box->setWindowTitle(QStringLiteral("Set Default Run Wait Time"));
    box->setLabelText(
        QStringLiteral("Enter the number of seconds to pause before a program, "
                       "started with the Run command, begins sending keystrokes"));
    box->setInputMode(QInputDialog::TextInput);
    box->setTextValue(QString::number(piRunWait));
    // Cancel answers an empty text, which changes nothing.
    const QString answer = box->exec() == QDialog::Accepted ? box->textValue() : QString();
    piRunWait = applyRunWaitAnswer(answer, piRunWait);
}

}  // namespace tarn::editor
