// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A clsMacro over the recording fakes, with helpers to run macro text.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "clsMacro.h"

namespace tarn::test {

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/tarn-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& name, const std::string& bytes) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

  private:
    std::filesystem::path path_;
};

struct Harness {
    fake::FakePlatform fakes;
    clsMacro macro{fakes.platform()};
    std::vector<std::string> lines;  // as reported by DataInQueue
    TempDir dir;

    Harness() {
        macro.DataInQueue = [this](const std::string& line) { lines.push_back(line); };
    }

    // Runs the bytes as a macro file; the failure that ended the run, if any.
    std::optional<Failure> run(const std::string& bytes) {
        return runFile(dir.write("macro.mcr", bytes));
    }
    std::optional<Failure> runFile(const std::string& path) {
        return failureOf([&] { macro.RunMacro(path); });
    }
    // One statement, as Process gets it.
    std::optional<Failure> process(const std::string& line) {
        return failureOf([&] { macro.Process(line); });
    }
    template <class Call>
    static std::optional<Failure> failureOf(Call call) {
        try {
            call();
            return std::nullopt;
        } catch (const Failure& failure) {
            return failure;
        }
    }
    std::string var(const std::string& name) const {
        const std::string* value = macro.Variables().find(name);
        return value ? *value : "<unset>";
    }
};

inline std::string describeFailure(const std::optional<Failure>& failure) {
    if (!failure) return "no failure";
    return std::to_string(failure->number()) + " \"" + failure->description() + "\" at \"" +
           failure->source() + "\"";
}

}  // namespace tarn::test
