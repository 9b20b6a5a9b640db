// SPDX-License-Identifier: GPL-3.0-or-later
#include "Diagnostic.h"

namespace tarn {

std::string EscapeFileName(const std::string& psvFile) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(psvFile.size());
    for (const char c : psvFile) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string FormatDiagnostic(const std::string& psvFile, std::int32_t plLine, std::int32_t plColumn,
                             const std::string& psvText, std::int32_t plNumber) {
    std::string where = EscapeFileName(psvFile);
    if (plLine > 0) {
        where += ':' + std::to_string(plLine);
        if (plColumn > 0) where += ':' + std::to_string(plColumn);
    }
    return where + ": error: " + psvText + " [" + std::to_string(plNumber) + ']';
}

std::string FormatNote(const std::string& psvFile, const std::string& psvText) {
    return EscapeFileName(psvFile) + ": note: " + psvText;
}

}  // namespace tarn
