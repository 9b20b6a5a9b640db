// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

#include "Types.h"

namespace tarn {

// Opening, printing or exploring a document with the program associated with it.
class Documents {
  public:
    virtual ~Documents() = default;
    // Returns a result code: above 32 is success; 0, 2 (no such file), 3 (no such
    // folder), 11 (program cannot be started), 31 (no association or no printer).
    virtual int execute(WindowId owner, const std::string& operation, const std::string& file,
                        const std::string& parameters, const std::string& startDirectory,
                        int showCommand) = 0;
};

}  // namespace tarn
