// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user variables of one interpreter object: 100 name/value slots,
// numbered 1 to 100, emptied at the start of every run.

#include <array>
#include <cstdint>
#include <string>

namespace tarn {

class VariableTable {
  public:
    static constexpr std::int16_t kSlots = 100;

    VariableTable() { ClearVars(); }

    // Every name and value empty, next free slot 1.
    void ClearVars();
    // The first slot whose name equals the given name without regard to case,
    // 0 when none does. Free slots take part (their name is empty).
    std::int16_t Lookup(const std::string& psvName) const;
    std::int16_t nextFree() const { return miNextFree; }

    const std::string& name(std::int16_t slot) const { return mNames.at(slot); }
    const std::string& value(std::int16_t slot) const { return mValues.at(slot); }
    // The value of the named variable, or nullptr when there is none.
    const std::string* find(const std::string& psvName) const;

    // Stores a new name in the next free slot and returns that slot; the caller
    // checks that a slot is free.
    std::int16_t addName(const std::string& psvName);
    void setValue(std::int16_t slot, std::string value) { mValues.at(slot) = std::move(value); }
    // Makes the slot taken by addName count as used.
    void advance() { ++miNextFree; }

  private:
    std::array<std::string, kSlots + 1> mNames;
    std::array<std::string, kSlots + 1> mFolded;  // names upper-cased, for Lookup
    std::array<std::string, kSlots + 1> mValues;
    std::int16_t miNextFree = 1;
};

}  // namespace tarn
