// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small JSON reader for sway's IPC replies: objects, arrays, strings (with
// their escapes, \u included) and numbers; enough to walk a window tree.

#include <string>
#include <utility>
#include <vector>

namespace tarn::wayland {

struct JsonValue {
    std::string text;  // a string's value
    double number = 0;
    bool isNull = false;
    std::vector<std::pair<std::string, JsonValue>> members;  // an object's
    std::vector<JsonValue> items;                            // an array's

    const JsonValue* member(const char* name) const {
        for (const auto& [key, value] : members)
            if (key == name) return &value;
        return nullptr;
    }
};

// False for text that is not one JSON value, or nested deeper than is sane.
bool parseJson(const std::string& text, JsonValue& out);

}  // namespace tarn::wayland
