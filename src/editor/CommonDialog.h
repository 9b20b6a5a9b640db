// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The common dialog of an editor window (its cdlgMac): the file dialogs every
// caller of the program goes through, with the settings they rely on.
//
// Callers set what they need (initial folder, file name, flags, title,
// filter) and show the open or save dialog. On confirmation FileName() holds
// the chosen full path; a cancel throws Failure 32755, which every caller
// tells apart from all other failures and never reports. Settings a caller
// does not set keep the values of the previous use of the same instance, so
// a dialog opens where the last one was confirmed.
//
// The filter is the program's own notation: description and pattern pairs,
// all joined by "|" ("Macros (*.mcr)|*.mcr|All Files(*.*)|*.*"); a pattern
// may list several masks separated by "; ". "*.*" means every file, names
// without a dot included.
//
// The dialog is Qt's own file dialog (not the desktop's), the same on every
// desktop; it never asks about overwriting, since the editor asks that itself.
// A save dialog appends the extension of the chosen filter's first mask
// ("*.mcr") to a name typed without any dot.
//
// The printer dialog works on a QPrinter, the program's current printer:
// confirming it makes the chosen printer (with its copies and paper) that
// printer's setting, which the next Print uses. Copies are always left to the
// printer driver: Qt hands the count to the job.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QPrinter;
class QWidget;

namespace tarn::editor {

class CommonDialog {
  public:
    // The failure of a cancelled dialog.
    static constexpr int kCancelError = 32755;

    // Options (OFN_* values, as callers pass them).
    static constexpr int kHideReadOnly = 0x4;
    static constexpr int kExplorer = 0x80000;
    // What the open and save dialogs of the program use.
    static constexpr int kFileDialogFlags = kExplorer | kHideReadOnly;
    // Printer dialog options (PD_* values).
    static constexpr int kNoSelection = 0x4;
    static constexpr int kNoPageNums = 0x8;
    static constexpr int kUseDevModeCopiesAndCollate = 0x40000;
    static constexpr int kDisablePrintToFile = 0x80000;
    // What Printer Setup uses: 0xC000C.
    static constexpr int kPrinterDialogFlags =
        kNoSelection | kNoPageNums | kUseDevModeCopiesAndCollate | kDisablePrintToFile;
    // A mask of the filter that stands for the files that may be run (and the
    // folders to reach them), whatever their names: Linux programs carry no
    // extension to match.
    static const QString kExecutablesMask;  // "<executable>"

    enum class Kind { Open, Save, Printer };

    // One choice of the filter: its description and its masks as given.
    struct FilterChoice {
        QString description;
        QStringList masks;
    };

    // What a dialog about to be shown was asked for; the answer hook receives it.
    struct Request {
        Kind kind;
        QString title;
        QString initialFolder;
        QString fileName;
        std::vector<FilterChoice> filter;
        int filterIndex;  // 1-based, as FilterIndex()
        int flags;
    };

    // Answers dialogs instead of showing them (tests): the chosen path (for
    // the printer dialog the printer's name), or nothing for a cancel.
    // Program-wide; an empty hook shows real dialogs.
    using AnswerHook = std::function<std::optional<QString>(const Request&)>;
    static void setAnswerHook(AnswerHook poHook);

    // poOwner: the window the dialogs are modal to (may be null).
    explicit CommonDialog(QWidget* poOwner = nullptr) : mpOwner(poOwner) {}

    void setInitDir(const QString& psvFolder) { msvInitDir = psvFolder; }
    QString InitDir() const { return msvInitDir; }
    void setFileName(const QString& psvName) { msvFileName = psvName; }
    QString FileName() const { return msvFileName; }
    void setFlags(int plFlags) { mlFlags = plFlags; }
    int Flags() const { return mlFlags; }
    void setDialogTitle(const QString& psvTitle) { msvTitle = psvTitle; }
    QString DialogTitle() const { return msvTitle; }
    void setFilter(const QString& psvFilter) { msvFilter = psvFilter; }
    QString Filter() const { return msvFilter; }
    // The filter choice selected first (1-based); after a dialog, the one used.
    void setFilterIndex(int piIndex) { miFilterIndex = piIndex; }
    int FilterIndex() const { return miFilterIndex; }
    // The folder of the file last chosen in a confirmed file dialog; empty
    // before the first.
    QString LastFolder() const { return msvLastFolder; }

    // Show the dialog and wait for the user. Throw Failure 32755 on cancel.
    void ShowOpen();
    void ShowSave();
    // The printer dialog, with the title and flags set before; on confirmation
    // poPrinter is the chosen printer. Throws Failure 32755 on cancel, and
    // kPrinterError (PrintJob.h) when the printer cannot take the choice.
    void ShowPrinter(QPrinter& poPrinter);

    // "Description|pattern|..." as choices; an incomplete last pair is dropped.
    static std::vector<FilterChoice> parseFilter(const QString& psvFilter);
    // A choice as Qt's file dialog takes it: the masks it really matches in
    // parentheses ("*.*" becomes "*").
    static QString qtNameFilter(const FilterChoice& poChoice);

  private:
    void show(Kind piKind);
    // The path the user chose, or nothing when the dialog was cancelled.
    std::optional<QString> runDialog(const Request& poRequest, int& piChosenFilter);
    // The chosen printer's name, or nothing when the dialog was cancelled.
    std::optional<QString> runPrintDialog(const Request& poRequest, QPrinter& poPrinter);

    QWidget* mpOwner;
    QString msvInitDir;
    QString msvFileName;
    int mlFlags = 0;
    QString msvTitle;
    QString msvFilter;
    int miFilterIndex = 1;
    QString msvLastFolder;
};

}  // namespace tarn::editor
