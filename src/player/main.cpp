// tarn: the macro player. Without an argument it shows the player window; with
// the path of a macro file it runs that macro unattended and ends.
#include <QApplication>
#include <cstdio>
#include <iostream>

#include "CommandLine.h"
#include "Icons.h"
#include "LinuxPlatform.h"
#include "MacroCheck.h"
#include "OwnEnvironment.h"
#include "Program.h"

int main(int argc, char** argv) {
    const tarn::CommandLine commandLine = tarn::parseCommandLine(argc, argv);
    switch (commandLine.action) {
        case tarn::CommandLine::Action::Help:
            std::fputs(tarn::usageText(), stdout);
            return 0;
        case tarn::CommandLine::Action::Version:
            std::fputs(tarn::versionLine(), stdout);
            return 0;
        case tarn::CommandLine::Action::Check:
            return tarn::CheckMacroFiles(commandLine.files, std::cout, std::cerr);
        case tarn::CommandLine::Action::Invalid:
            std::fprintf(stderr, "tarn: %s (try tarn --help)\n", commandLine.problem.c_str());
            return 2;
        case tarn::CommandLine::Action::Play:
            break;
    }

    // Without a session bus the toolkit would start one that outlives Tarn.
    tarn::posix::preventSessionBusAutolaunch();

    // The display is checked here, before the toolkit would abort on it.
    std::string problem;
    std::unique_ptr<tarn::LinuxPlatform> platform = tarn::LinuxPlatform::connect(nullptr, problem);
    if (!platform) {
        std::fprintf(stderr, "tarn: %s\n", problem.c_str());
        return 1;
    }

    // The arguments are the macro's path and nothing else: none of them is
    // handed to Qt, which would take a path such as "-style.mcr" for a switch.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Tarn"));
    QApplication::setApplicationVersion(QStringLiteral(TARN_VERSION));
    QApplication::setWindowIcon(tarn::tarnIcon(tarn::TarnIcon::Program));
    platform->startHousekeeping();
    tarn::UnattendedOptions unattended;
    unattended.batch = commandLine.batch;
    unattended.trace = commandLine.trace;
    unattended.stopKey = platform->stopKey();
    return tarn::runPlayer(platform->platform(), commandLine.macro, unattended);
}
