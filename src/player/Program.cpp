// SPDX-License-Identifier: GPL-3.0-or-later
#include "Program.h"

#include <QApplication>

namespace tarn {

int runPlayer(Platform poPlatform, std::optional<std::string> psvCommandLine,
              frmTarn::QuestionHook poQuestion) {
    return runPlayer(poPlatform, std::move(psvCommandLine), UnattendedOptions{},
                     std::move(poQuestion));
}

int runPlayer(Platform poPlatform, std::optional<std::string> psvCommandLine,
              const UnattendedOptions& poOptions, frmTarn::QuestionHook poQuestion) {
    frmTarn form(poPlatform, std::move(psvCommandLine));
    if (poQuestion) form.setQuestionHook(std::move(poQuestion));
    form.setBatch(poOptions.batch, poOptions.report);
    takeOptions(form.run(), poOptions);
    // In automatic mode the whole run happens inside Form_Load, on the yields
    // of the interpreter, and the window is closed when it returns.
    form.Form_Load();
    if (form.unloaded()) return form.exitCode();
    // Interactive: the user ran any number of macros and closed the window;
    // that is no failure, whatever the last run did.
    return QApplication::exec();
}

int runEditor(Platform poPlatform, const std::string& psvFile) {
    frmTarn form(poPlatform, std::nullopt);
    form.Form_Load();
    form.editFile(QString::fromStdString(psvFile));
    return QApplication::exec();
}

}  // namespace tarn
