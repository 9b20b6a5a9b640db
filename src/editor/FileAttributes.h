// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The extended attributes of a file (access control lists, user.* and
// security.* attributes), carried from a file to the new file that replaces it.

#include <string>

namespace tarn::editor {

// Gives the open file `to` exactly the extended attributes of the file at
// `from`: each one copied, any the new file has of its own (an inherited
// access control list) removed. False when one could not be carried (the file
// system has none, or setting it needs a privilege): the new file then must
// not replace the old one.
bool carryAttributes(const std::string& from, int to);

}  // namespace tarn::editor
