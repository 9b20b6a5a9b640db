// SPDX-License-Identifier: GPL-3.0-or-later
// tarn: the macro player. Without an argument it shows the player window; with
// the path of a macro file it runs that macro unattended and ends; --edit opens
// a macro in the editor without running it (without a file: the player). The
// windows are a module loaded only to show one (WindowsStart.h).
#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

#include "BatchRun.h"
#include "BoundedExit.h"
#include "CommandLine.h"
#include "LinuxPlatform.h"
#include "LoadWindows.h"
#include "MacroCheck.h"
#include "OwnEnvironment.h"
#include "RunStop.h"
#include "StopRequests.h"

namespace {

// The exit statuses that are not the run's own (Program.h has those).
constexpr int kUsageError = 2;
constexpr int kCannotStart = 3;

// How long the program may take to end once its work is done.
constexpr std::chrono::seconds kExitLimit{5};

// The status of a program that failed in itself rather than in the macro
// (an internal error, memory exhausted): EX_SOFTWARE of sysexits.h.
constexpr int kInternalError = 70;

void reportException(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
        std::fputs("tarn: internal error\n", stderr);
    } catch (const std::bad_alloc&) {
        std::fputs("tarn: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarn: internal error: %s\n", e.what());
    } catch (...) {
        std::fputs("tarn: internal error\n", stderr);
    }
}

// The last resort for an exception that no handler took (one thrown through
// the toolkit's event loop, out of a destructor, or out of main): a clear
// line instead of an abort, and exit() so that the keyboard is put back on
// the way out.
[[noreturn]] void onTerminate() {
    static bool ending = false;
    if (ending) std::_Exit(kInternalError);
    ending = true;
    reportException(std::current_exception());
    std::exit(kInternalError);
}

int stopRuns() {
    std::string problem;
    const int asked = tarn::posix::StopRequests::stopAll(problem);
    if (asked < 0) {
        std::fprintf(stderr, "tarn: %s\n", problem.c_str());
        return kCannotStart;
    }
    if (asked == 0) {
        std::fputs("tarn: no macro is running\n", stderr);
        return 1;
    }
    return 0;
}

// Text asked for on standard output that never arrived there (a full disk, a
// closed pipe) is a failure, as in every tool a script relies on.
int writeOut(const char* psvText) {
    if (std::fputs(psvText, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fputs("tarn: cannot write to standard output\n", stderr);
        return kUsageError;
    }
    return 0;
}

// The end of a run, once the event loop is left: the status, the keyboard
// put back, and an exit bounded whatever state the display's connection is in.
int finish(std::unique_ptr<tarn::LinuxPlatform> platform, int status, bool waylandToolkit) {
    // A termination signal stopped the run (or came while none ran) and ends
    // the program as the signal would have, once everything is put back.
    if (const int signalNumber = tarn::posix::RunStop::terminationSignal())
        status = 128 + signalNumber;

    // Everything Tarn keeps is written by now (settings as they change, the
    // trace line by line) and the keyboard is the user's again.
    tarn::posix::endWithin(kExitLimit, status);
    if (waylandToolkit) {
        // Qt's Wayland display can deadlock in its destructor (its event
        // thread waits for a read the main thread prepared and never makes):
        // the toolkit is not torn down there at all.
        platform.reset();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Also for an exception that leaves main: it ends in std::terminate.
    std::set_terminate(onTerminate);
    const tarn::CommandLine commandLine = tarn::parseCommandLine(argc, argv);
    switch (commandLine.action) {
        case tarn::CommandLine::Action::Help:
            return writeOut(tarn::usageText());
        case tarn::CommandLine::Action::Version:
            return writeOut(tarn::versionAndLicence().c_str());
        case tarn::CommandLine::Action::Check:
            return tarn::CheckMacroFiles(commandLine.files, std::cout, std::cerr);
        case tarn::CommandLine::Action::Stop:
            // The runs' folder is found as the runs find it, also from cron.
            tarn::posix::provideRuntimeFolder();
            return stopRuns();
        case tarn::CommandLine::Action::Invalid:
            std::fprintf(stderr, "tarn: %s (try tarn --help)\n", commandLine.problem.c_str());
            return kUsageError;
        case tarn::CommandLine::Action::Play:
        case tarn::CommandLine::Action::Edit:
            break;
    }

    // The windows are loaded before anything else is set up: without them
    // the program cannot do what was asked, and says so at once.
    tarn::WindowsMain windowsMain = nullptr;
    if (!commandLine.batch) {
        std::string problem;
        windowsMain = tarn::loadWindows(problem);
        if (!windowsMain) {
            std::fprintf(stderr, "tarn: %s\n", problem.c_str());
            return kCannotStart;
        }
    }

    // A write to the display's socket after the server has gone must fail
    // with an error the backends report ("the display closed"), not end
    // Tarn silently by SIGPIPE; the programs it starts get the default back.
    std::signal(SIGPIPE, SIG_IGN);
    // Without a session bus the toolkit would start one that outlives Tarn.
    tarn::posix::preventSessionBusAutolaunch();
    // Under cron or a systemd timer there is no runtime folder either, and
    // perhaps no HOME.
    tarn::posix::provideRuntimeFolder();
    tarn::posix::provideHomeFolder();

    // The display is checked here, before the toolkit would abort on it.
    std::string problem;
    std::unique_ptr<tarn::LinuxPlatform> platform = tarn::LinuxPlatform::connect(nullptr, problem);
    if (!platform) {
        std::fprintf(stderr, "tarn: %s\n", problem.c_str());
        return kCannotStart;
    }

    // The arguments are the macro's path and nothing else: none of them is
    // handed to Qt, which would take a path such as "-style.mcr" for a switch.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    tarn::UnattendedOptions unattended;
    unattended.batch = commandLine.batch;
    unattended.verbose = commandLine.verbose;
    unattended.trace = commandLine.trace;
    unattended.stopKey = platform->stopKey();
    unattended.created = [&platform](tarn::MacroRun& run) {
        platform->whenDisplayCloses([&run](const std::string& what) { run.reportGone(what); });
    };
    if (!commandLine.batch) {
        tarn::WindowsStart start;
        start.qtArgc = &qtArgc;
        start.qtArgv = qtArgv;
        start.platform = platform.get();
        start.commandLine = &commandLine;
        start.unattended = &unattended;
        start.finish = [&platform](int status, bool waylandToolkit) {
            return finish(std::move(platform), status, waylandToolkit);
        };
        return windowsMain(start);
    }
    // A batch run shows nothing: without the widget toolkit (its display
    // connection, platform plugin and fonts) it starts in a fraction of the
    // time and memory.
    QCoreApplication app(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarn"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARN_VERSION));
    platform->startHousekeeping();
    const int status = tarn::runBatch(platform->platform(), *commandLine.macro, unattended);
    platform->whenDisplayCloses({});
    return finish(std::move(platform), status, false);
}
