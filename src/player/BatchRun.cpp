// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRun.h"

#include <QCoreApplication>

#include "modGlobal.h"

namespace tarn {

void takeOptions(MacroRun& poRun, const UnattendedOptions& poOptions) {
    poRun.setVerbose(poOptions.verbose);
    if (poOptions.trace) poRun.setAutomaticTrace(QString::fromStdString(*poOptions.trace));
    poRun.setStopKey(poOptions.stopKey);
    if (poOptions.created) poOptions.created(poRun);
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

}  // namespace tarn
