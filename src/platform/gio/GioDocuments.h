// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RunExecute on the Linux desktop: a document opened, printed or explored with
// the program that GIO associates with its content type.

#include "Documents.h"

namespace tarn::gio {

class GioDocuments : public Documents {
  public:
    GioDocuments() = default;

    // The result codes follow the shell's: above 32 (kStarted) is success; 2
    // no such file, 3 no such folder (the start folder or the file's own), 5
    // access denied, 11 the program cannot be started, 28 the print service
    // did not answer in time, 31 no program for the type or the operation,
    // no printer, 0 out of resources.
    //
    // Operations, in any letter case:
    // - "open" or empty: a folder opens in the file manager; a program file
    //   (execute permission and a "#!" line or an ELF header) is run with the
    //   parameters as its command line (split as Run splits); any other
    //   document, and a URI such as https://... or mailto:..., opens in its
    //   default application.
    // - "print": a file goes to the default printer through CUPS ("lp").
    // - "explore": a folder opens in the file manager.
    // Any other operation is 31, as the shell answers for a verb the type
    // does not have.
    //
    // The parameters go to program files only: an application opening a
    // document gets the document alone, as on Windows, since a desktop entry
    // has no place for extra arguments. The start folder is the working folder
    // of what is started (unless its desktop entry names its own); a relative
    // file name is taken from it, else from the current folder. The owner
    // window and the show command have no counterpart here: no launcher on
    // the Linux desktop takes an initial window state, so both are ignored.
    int execute(WindowId owner, const std::string& operation, const std::string& file,
                const std::string& parameters, const std::string& startDirectory,
                int showCommand) override;

    static constexpr int kStarted = 42;
};

}  // namespace tarn::gio
