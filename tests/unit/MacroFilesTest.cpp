// SPDX-License-Identifier: GPL-3.0-or-later
// Whole macro files under tests/unit/macros, each beside the record its run
// must produce (name.expected): the lines reported, in order with the platform
// calls they led to ("line: " before a reported line), and the end of the run:
// "ok", or "failure: " and the failure as number, description and source.
// The fake desktop every file runs against is set up below.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Harness.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<fs::path> macroFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(TARN_TEST_MACROS)) {
        if (entry.path().extension() == ".mcr") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class MacroFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(MacroFile, RunsAsRecorded) {
    Harness h;
    h.fakes.windows.windows = {{101, "Untitled - Notepad", true, false, 1001},
                               {102, "Calculator", true, false, 1002},
                               {103, "Hidden Helper", false, false, 1003},
                               {104, "Mail - Inbox", true, true, 1004}};
    h.fakes.processes.running = {1001, 1002, 1003, 1004};
    h.macro.DataInQueue = [&](const std::string& line) { h.fakes.log.push_back("line: " + line); };

    const auto failure = h.runFile(GetParam().string());
    std::string record;
    for (const std::string& entry : h.fakes.log)
        record += entry + "\n";
    record += failure ? "failure: " + describeFailure(failure) + "\n" : "ok\n";

    fs::path expected = GetParam();
    expected.replace_extension(".expected");
    EXPECT_EQ(record, readAll(expected)) << GetParam().filename();
}

INSTANTIATE_TEST_SUITE_P(Macros, MacroFile, ::testing::ValuesIn(macroFiles()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.stem().string();
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace tarn::test
