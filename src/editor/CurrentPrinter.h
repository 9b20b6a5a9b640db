// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's current printer: the one Printer Setup chose last, shared by
// the editor and the trace viewer, and its print job, which outlives a Print
// that failed in the middle so the next Print can end it (sending the pages it
// already holds). Until the user chooses, it is the system's default printer.
// What is left open when the program ends is ended then.

#include <QString>

class QPrinter;

namespace tarn::editor {

class PrintJob;

QPrinter& currentPrinter();
PrintJob& currentJob();

// Whether Print and Printer Setup have a printer to go to: a printer of the
// system, or a file the printer writes. A printer installed while the program
// runs becomes current here when the current one is no printer at all.
bool printerAvailable();

// What Print and Printer Setup say when there is no printer at all.
extern const QString kNoPrinterText;

}  // namespace tarn::editor
