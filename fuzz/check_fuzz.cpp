// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry comparing the checker with a run: each input line is checked
// and then processed against the recording fakes, in step, so both see the
// same variables. For a line whose outcome does not hang on values only a run
// knows, a finding must be the failure the run raises, and a line without a
// finding must not fail for a reason the checker looks for. The fakes refuse
// what the real backends refuse without looking at the desktop (a key no
// keyboard can type, such as a NUL inside Send), so a check that lets such a
// line pass is caught here.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "Failure.h"
#include "FakePlatform.h"
#include "MacroCheck.h"
#include "clsMacro.h"

namespace {

// Failures that depend on nothing but the line's text and the variables'
// names; the others (no window for a process ID, a document that would not
// open, a process that cannot be ended) depend on the desktop.
bool isStaticFailure(const tarn::Failure& failure) {
    switch (failure.number()) {
        case 6:
        case 9:
        case 13:
        case 1001:
        case 1002:
            return true;
        case 5:
            return failure.source().find(".SetFocus") == std::string::npos &&
                   failure.source().find(".RunExecute") == std::string::npos;
        default:
            return false;
    }
}

[[noreturn]] void mismatch(const std::string& line, const char* what) {
    // Control bytes (a NUL above all) written so that they can be seen.
    std::string shown;
    for (const char c : line) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
        shown += static_cast<unsigned char>(c) < 0x20 ? std::string(escaped) : std::string(1, c);
    }
    std::fprintf(stderr, "check and run disagree on \"%s\": %s\n", shown.c_str(), what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarn::fake::FakePlatform fakes;
    fakes.windows.windows = {{11, "Untitled - Editor", true, false, 1001},
                             {12, "Hidden", false, false, 1002}};
    fakes.processes.running = {1001, 1002};
    tarn::clsMacro macro(fakes.platform());
    tarn::MacroChecker checker;
    auto lineStart = fakes.host.time;
    fakes.host.onYield = [&] {
        if (fakes.host.time - lineStart > std::chrono::seconds(3)) macro.CancelMacro(true);
    };

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t begin = 0;
    while (begin <= input.size()) {
        std::size_t end = input.find('\n', begin);
        if (end == std::string::npos) end = input.size();
        const std::string line = input.substr(begin, end - begin);
        begin = end + 1;

        const std::optional<tarn::Finding> finding = checker.checkLine(line);
        const bool known = !checker.lineDependsOnRun();
        lineStart = fakes.host.time;
        try {
            macro.Process(line);
            if (finding && known) mismatch(line, "the check found a failure the run did not raise");
        } catch (const tarn::Failure& failure) {
            if (known && finding && finding->number != failure.number()) {
                mismatch(line, "the run raised another failure than the check found");
            }
            if (known && !finding && isStaticFailure(failure)) {
                mismatch(line, "the run failed on a line the check passed");
            }
        }
        // Window searches are kept short, and never so short that they would
        // skip reading their parameters.
        macro.TimeOut(1);
        macro.CancelMacro(false);
    }
    return 0;
}
