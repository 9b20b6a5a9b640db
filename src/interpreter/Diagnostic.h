// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One line per problem in the form compilers write, so that editors and the
// problem matchers of CI systems find the place:
//   FILE:LINE:COLUMN: error: TEXT [NUMBER]
// with ":COLUMN" left out where no column is known and ":LINE" where no line
// is (a file that cannot be read). The failure's number comes last, in
// brackets, where gcc puts the name of a warning's switch. Control characters
// in the file's name (a newline would split the line) are written as C
// escapes: \n, \r, \t, \xHH.

#include <cstdint>
#include <string>

namespace tarn {

std::string FormatDiagnostic(const std::string& psvFile, std::int32_t plLine, std::int32_t plColumn,
                             const std::string& psvText, std::int32_t plNumber);

// The file's name with its control characters escaped, as the lines above
// write it.
std::string EscapeFileName(const std::string& psvFile);

// "FILE: note: TEXT", for what is worth knowing but is no error.
std::string FormatNote(const std::string& psvFile, const std::string& psvText);

}  // namespace tarn
