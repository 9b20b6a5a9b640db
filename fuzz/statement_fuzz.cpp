// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry for whole statements: each input line goes through Process
// against the recording fakes. Any input must end in nothing or a Failure;
// waits and window searches are kept short so one input cannot run for hours.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Failure.h"
#include "FakePlatform.h"
#include "clsMacro.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarn::fake::FakePlatform fakes;
    fakes.windows.windows = {{11, "Untitled - Editor", true, false, 1001},
                             {12, "Hidden", false, false, 1002},
                             {13, "Ελληνικά", true, true, 1003}};
    fakes.processes.running = {1001, 1002, 1003};
    tarn::clsMacro macro(fakes.platform());
    auto lineStart = fakes.host.time;
    fakes.host.onYield = [&] {
        if (fakes.host.time - lineStart > std::chrono::seconds(3)) macro.CancelMacro(true);
    };

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t begin = 0;
    while (begin <= input.size()) {
        std::size_t end = input.find('\n', begin);
        if (end == std::string::npos) end = input.size();
        lineStart = fakes.host.time;
        try {
            macro.Process(input.substr(begin, end - begin));
        } catch (const tarn::Failure&) {
        }
        if (macro.TimeOut() > 1) macro.TimeOut(1);
        macro.CancelMacro(false);
        begin = end + 1;
    }
    return 0;
}
