// SPDX-License-Identifier: GPL-3.0-or-later
// Types a text into the window that has the keyboard focus, the way Send does:
// the text is written in the key notation (reserved characters braced),
// parsed, and typed by the XTest backend, or on a Wayland desktop
// ($WAYLAND_DISPLAY set) by the virtual keyboard; with TARN_BACKEND=kwin by
// KWin's fake input (granted to this program by a desktop file, as the
// package grants it to tarn), with TARN_BACKEND=gnome through mutter's
// remote desktop and Tarn's Shell extension. Prints the seconds that parsing
// and typing took. Used by bench/typing.py. Built twice: tarn_typing_driver
// with every backend, and tarn_typing_driver_x11_sway with the XTest and
// wlroots ones only, which loads none of the libraries of KWin's and GNOME
// Shell's backends (GIO, and what it loads) before it types: the bench's clock
// runs from the start of the typist.
//
//   tarn_typing_driver FILE        types the UTF-8 text of FILE
//   tarn_typing_driver -k KEYS     types KEYS as written in the notation
//   tarn_typing_driver -l FILE     types each line of FILE as a Send of its
//                                  own, {ENTER} ending it; prints the seconds
//                                  of all and the milliseconds of a line

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Failure.h"
#include "KeyNotation.h"
#include "VirtualKeyboard.h"
#include "XTestKeyboard.h"
#ifndef TARN_DRIVER_X11_SWAY
#include "FakeInputKeyboard.h"
#include "MutterKeyboard.h"
#endif

namespace {

std::string toNotation(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '+':
            case '^':
            case '%':
            case '~':
            case '(':
            case ')':
            case '{':
            case '}':
            case '[':
            case ']':
                out += '{';
                out += c;
                out += '}';
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::string notation;
    std::vector<std::string> lines;
    if (argc == 3 && std::string(argv[1]) == "-k") {
        notation = argv[2];
    } else if (argc == 3 && std::string(argv[1]) == "-l") {
        std::ifstream file(argv[2], std::ios::binary);
        if (!file) {
            std::cerr << "cannot read " << argv[2] << "\n";
            return 2;
        }
        for (std::string line; std::getline(file, line);)
            lines.push_back(toNotation(line) + "{ENTER}");
    } else if (argc == 2) {
        std::ifstream file(argv[1], std::ios::binary);
        if (!file) {
            std::cerr << "cannot read " << argv[1] << "\n";
            return 2;
        }
        std::ostringstream text;
        text << file.rdbuf();
        notation = toNotation(text.str());
    } else {
        std::cerr << "usage: tarn_typing_driver FILE | -k KEYS | -l FILE\n";
        return 2;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* backend = std::getenv("TARN_BACKEND");
    std::unique_ptr<tarn::Keyboard> keyboard;
    std::string problem = "cannot open the display";
    const bool kwin = backend && std::strcmp(backend, "kwin") == 0;
    const bool gnome = backend && std::strcmp(backend, "gnome") == 0;
    if (kwin || gnome) {
#ifdef TARN_DRIVER_X11_SWAY
        problem = "this driver types on X11 and sway only: use tarn_typing_driver";
#else
        if (kwin) {
            tarn::kwin::FakeInputKeyboard::Refusal refusal{};
            keyboard = tarn::kwin::FakeInputKeyboard::connect(nullptr, nullptr, nullptr, refusal);
            if (refusal == tarn::kwin::FakeInputKeyboard::Refusal::NotGranted)
                problem = "KWin did not grant fake input to this program";
        } else {
            keyboard = tarn::gnome::MutterKeyboard::connect(problem);
        }
#endif
    } else if (wayland && *wayland) {
        keyboard = tarn::wayland::VirtualKeyboard::connect();
    } else {
        keyboard = tarn::x11::XTestKeyboard::connect();
    }
    if (!keyboard) {
        std::cerr << problem << "\n";
        return 1;
    }
    std::vector<tarn::KeySequence> sends;
    if (lines.empty()) sends.push_back(tarn::parseKeys(notation));
    for (const std::string& line : lines)
        sends.push_back(tarn::parseKeys(line));
    const auto start = std::chrono::steady_clock::now();
    try {
        for (const tarn::KeySequence& keys : sends)
            keyboard->type(keys);
    } catch (const tarn::Failure& failure) {
        std::cerr << "failure " << failure.number() << " " << failure.description() << "\n";
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (lines.empty()) {
        std::printf("%.4f\n", took.count());
    } else {
        std::printf("%.4f s, %.2f ms a line\n", took.count(),
                    1000 * took.count() / static_cast<double>(lines.size()));
    }
    return 0;
}
