// SPDX-License-Identifier: GPL-3.0-or-later
#include "Syntax.h"

#include "Failure.h"

namespace tarn {

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string_view LeadingAndTrailingSpacesRemoved(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    while (s.size() > 1 && s.front() == '\t')
        s = TrimBlanks(s.substr(1));
    return s;
}

std::string RemoveLeadingAndTrailingSpaces(std::string_view text) {
    return std::string(LeadingAndTrailingSpacesRemoved(text));
}

std::string RemoveStartAndEndQuotes(std::string_view text) {
    if (!text.empty() && text.front() == kQuote) text.remove_prefix(1);
    if (!text.empty() && text.back() == kQuote) text.remove_suffix(1);
    return std::string(text);
}

void ParseParameters(std::string_view text, ParameterList& fields) {
    for (std::string& field : fields)
        field.clear();
    std::string_view rest = text;
    for (std::size_t i = 1; i <= 10; ++i) {
        // Pass over quoted spans that stand before the next comma: their commas
        // do not separate fields.
        std::size_t position = 0;
        for (;;) {
            const std::size_t quote = rest.find(kQuote, position);
            const std::size_t comma = rest.find(',', position);
            if (quote == std::string_view::npos || comma == std::string_view::npos ||
                comma < quote) {
                break;
            }
            const std::size_t closing = rest.find(kQuote, quote + 1);
            if (closing == std::string_view::npos) {
                throw Failure(kInvalidArgument, " - Missing quote in statement",
                              ".ParseParameters");
            }
            if (closing == rest.size() - 1) {
                position = closing;
                break;
            }
            position = closing + 1;
        }
        const std::size_t comma = rest.find(',', position);
        if (comma != std::string_view::npos) {
            fields[i] = std::string(TrimBlanks(rest.substr(0, comma)));
            rest = TrimBlanks(rest.substr(comma + 1));
        } else if (!rest.empty()) {
            fields[i] = std::string(rest);
            rest = {};
        }
    }
}

}  // namespace tarn
