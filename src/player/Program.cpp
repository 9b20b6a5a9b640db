// SPDX-License-Identifier: GPL-3.0-or-later
#include "Program.h"

#include <QApplication>

#include "modGlobal.h"

namespace tarn {

namespace {

// What every unattended run takes from its options, with or without a window.
void takeOptions(MacroRun& poRun, const UnattendedOptions& poOptions) {
    poRun.setVerbose(poOptions.verbose);
    if (poOptions.trace) poRun.setAutomaticTrace(QString::fromStdString(*poOptions.trace));
    poRun.setStopKey(poOptions.stopKey);
    if (poOptions.created) poOptions.created(poRun);
}

}  // namespace

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

int runBatch(Platform poPlatform, const std::string& psvCommandLine,
             const UnattendedOptions& poOptions) {
    MacroRun run(poPlatform);
    const std::string file = StripQuotes(psvCommandLine);
    run.MacroFile = [file] { return file; };
    run.setBatch(true, poOptions.report);
    takeOptions(run, poOptions);
    QCoreApplication::processEvents();
    run.start();
    return run.exitCode();
}

int runEditor(Platform poPlatform, const std::string& psvFile) {
    frmTarn form(poPlatform, std::nullopt);
    form.Form_Load();
    form.editFile(QString::fromStdString(psvFile));
    return QApplication::exec();
}

}  // namespace tarn
