// SPDX-License-Identifier: GPL-3.0-or-later
#include "TargetProgram.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace tarn::testing {

// The percent-decoding of the target's replies.
static std::string decode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

TargetProgram::TargetProgram(XSession& session) : session_(session) {
    PipedChild child =
        session_.spawnPiped({TARN_TARGET_PROGRAM},
                            {session.wayland() ? "QT_QPA_PLATFORM=wayland" : "QT_QPA_PLATFORM=xcb",
                             "QT_ACCESSIBILITY=0", "NO_AT_BRIDGE=1"});
    pid_ = child.pid;
    input_ = child.input;
    output_ = child.output;
    // The first reply also tells that Qt is up and connected to the display.
    std::string reported = command("pid", std::chrono::seconds(20));
    if (std::atoi(reported.c_str()) != pid_)
        throw std::runtime_error("tarn_target reported PID " + reported);
}

TargetProgram::~TargetProgram() {
    try {
        command("quit", std::chrono::seconds(2));
    } catch (const std::exception&) {
        // It is ended by its PID below in any case.
    }
    ::close(input_);
    ::close(output_);
    session_.kill(pid_);
}

std::string TargetProgram::command(const std::string& line, std::chrono::milliseconds timeout) {
    std::string sent = line + "\n";
    for (std::size_t done = 0; done < sent.size();) {
        ssize_t n = ::write(input_, sent.data() + done, sent.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("tarn_target is gone (command: " + line + ")");
        done += static_cast<std::size_t>(n);
    }
    const auto hasLine = [](const std::string& text) {
        return text.find('\n') != std::string::npos;
    };
    bool ended = false;
    if (!hasLine(buffered_)) buffered_ += readUntil(output_, timeout, hasLine, &ended);
    const std::size_t end = buffered_.find('\n');
    if (end == std::string::npos)
        throw std::runtime_error(ended ? "tarn_target ended (command: " + line + ")"
                                       : "tarn_target did not answer in time: " + line);
    std::string reply = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    if (reply == "ok") return {};
    if (reply.compare(0, 3, "ok ") == 0) return reply.substr(3);
    throw std::runtime_error("tarn_target: " + reply + " (command: " + line + ")");
}

std::uint32_t TargetProgram::window(const std::string& name, const std::string& title) {
    return static_cast<std::uint32_t>(std::stoul(command("window " + name + " " + title)));
}

int TargetProgram::closeRequests(const std::string& name) {
    return std::stoi(command("closes " + name));
}

std::string TargetProgram::text(const std::string& name) {
    return decode(command("text " + name));
}

bool TargetProgram::active(const std::string& name) {
    return command("active " + name) == "1";
}

bool TargetProgram::becomesActive(const std::string& name) {
    return waitUntil([&] { return active(name); }, std::chrono::seconds(10));
}

std::vector<KeyRecord> TargetProgram::keys(const std::string& name) {
    std::vector<KeyRecord> records;
    for (const auto& entry : platformtest::lines(command("keys " + name), ' ')) {
        if (entry.empty()) continue;
        auto fields = platformtest::lines(entry, ':');
        // A trailing empty text field is dropped by getline.
        while (fields.size() < 6)
            fields.emplace_back();
        KeyRecord record;
        record.press = fields[0] == "d";
        record.key = static_cast<int>(std::stoul(fields[1], nullptr, 16));
        record.modifiers = static_cast<unsigned>(std::stoul(fields[2], nullptr, 16));
        record.scanCode = static_cast<unsigned>(std::stoul(fields[3], nullptr, 16));
        record.nativeModifiers = static_cast<unsigned>(std::stoul(fields[4], nullptr, 16));
        record.text = decode(fields[5]);
        records.push_back(record);
    }
    return records;
}

}  // namespace tarn::testing
