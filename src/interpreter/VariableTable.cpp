// SPDX-License-Identifier: GPL-3.0-or-later
#include "VariableTable.h"

#include "Utf8.h"

namespace tarn {

void VariableTable::ClearVars() {
    for (std::size_t i = 0; i <= kSlots; ++i) {
        mNames[i].clear();
        mFolded[i].clear();
        mValues[i].clear();
    }
    miNextFree = 1;
}

std::int16_t VariableTable::Lookup(const std::string& psvName) const {
    const std::string folded = utf8::upper(psvName);
    for (std::int16_t slot = 1; slot <= kSlots; ++slot) {
        if (mFolded[slot] == folded) return slot;
    }
    return 0;
}

const std::string* VariableTable::find(const std::string& psvName) const {
    const std::int16_t slot = Lookup(psvName);
    return slot ? &mValues[slot] : nullptr;
}

std::int16_t VariableTable::addName(const std::string& psvName) {
    const std::int16_t slot = miNextFree;
    mNames.at(slot) = psvName;
    mFolded.at(slot) = utf8::upper(psvName);
    return slot;
}

}  // namespace tarn
