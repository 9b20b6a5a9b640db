// SPDX-License-Identifier: GPL-3.0-or-later
#include "Diagnostic.h"

namespace tarn {

std::string FormatDiagnostic(const std::string& psvFile, std::int32_t plLine, std::int32_t plColumn,
                             const std::string& psvText, std::int32_t plNumber) {
    std::string where = psvFile;
    if (plLine > 0) {
        where += ':' + std::to_string(plLine);
        if (plColumn > 0) where += ':' + std::to_string(plColumn);
    }
    return where + ": error: " + psvText + " [" + std::to_string(plNumber) + ']';
}

std::string FormatNote(const std::string& psvFile, const std::string& psvText) {
    return psvFile + ": note: " + psvText;
}

}  // namespace tarn
