// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the command line given as its one argument with PosixProcesses, prints
// the new PID and exits at once: the tests check that the program it started
// outlives it. It holds a second descriptor on its output without
// close-on-exec, as a library of Tarn's might, which the program must not get.
#include <unistd.h>

#include <cstdio>

#include "Failure.h"
#include "PosixProcesses.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int extra = dup(STDOUT_FILENO);
    if (extra < 0) return 3;
    tarn::posix::PosixProcesses processes;
    try {
        std::printf("%d\n", processes.start(argv[1]));
    } catch (const tarn::Failure& failure) {
        std::printf("failure %d\n", failure.number());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}
