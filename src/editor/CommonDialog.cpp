// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommonDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "Failure.h"
#include "PrintJob.h"

namespace tarn::editor {

namespace {

CommonDialog::AnswerHook& answerHook() {
    static CommonDialog::AnswerHook hook;
    return hook;
}

// The extension a save dialog adds to a name typed without one: that of the
// chosen filter's first mask when it is a plain "*.ext".
QString defaultSuffix(const std::vector<CommonDialog::FilterChoice>& poFilter, int piIndex) {
    if (piIndex < 1 || piIndex > static_cast<int>(poFilter.size())) return QString();
    const QStringList& masks = poFilter[static_cast<std::size_t>(piIndex - 1)].masks;
    if (masks.isEmpty()) return QString();
    const QString& mask = masks.front();
    if (!mask.startsWith(QLatin1String("*.")) || mask.size() < 3) return QString();
    const QString suffix = mask.mid(2);
    for (QChar c : suffix) {
        if (c == '*' || c == '?' || c == '[' || c == '.') return QString();
    }
    return suffix;
}

// Narrows the dialog's list to folders and files that may be run while a
// filter choice with kExecutablesMask is selected.
class ExecutablesOnly : public QSortFilterProxyModel {
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setActive(bool pbActive) {
        if (mbActive == pbActive) return;
        mbActive = pbActive;
        invalidateFilter();
    }

  protected:
    bool filterAcceptsRow(int piRow, const QModelIndex& poParent) const override {
        if (!mbActive) return true;
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) return true;
        const QFileInfo info = files->fileInfo(files->index(piRow, 0, poParent));
        return info.isDir() || info.isExecutable();
    }

  private:
    bool mbActive = false;
};

bool runsExecutables(const CommonDialog::FilterChoice& poChoice) {
    return poChoice.masks.contains(CommonDialog::kExecutablesMask);
}

}  // namespace

const QString CommonDialog::kExecutablesMask = QStringLiteral("<executable>");

void CommonDialog::setAnswerHook(AnswerHook poHook) {
    answerHook() = std::move(poHook);
}

std::vector<CommonDialog::FilterChoice> CommonDialog::parseFilter(const QString& psvFilter) {
    std::vector<FilterChoice> choices;
    const QStringList parts = psvFilter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FilterChoice choice{parts[i], {}};
        for (const QString& mask : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = mask.trimmed();
            if (!trimmed.isEmpty()) choice.masks << trimmed;
        }
        choices.push_back(choice);
    }
    return choices;
}

QString CommonDialog::qtNameFilter(const FilterChoice& poChoice) {
    // Qt matches "*.*" literally (only names with a dot); the program's "*.*"
    // has always meant every file.
    QStringList masks;
    for (const QString& mask : poChoice.masks)
        masks << (mask == QLatin1String("*.*") || mask == kExecutablesMask ? QStringLiteral("*")
                                                                           : mask);
    if (masks.isEmpty()) masks << QStringLiteral("*");
    return poChoice.description + QStringLiteral(" (") + masks.join(QLatin1Char(' ')) +
           QLatin1Char(')');
}

void CommonDialog::ShowOpen() {
    show(Kind::Open);
}

void CommonDialog::ShowSave() {
    show(Kind::Save);
}

void CommonDialog::ShowPrinter(QPrinter& poPrinter) {
    const Request request{Kind::Printer, msvTitle, QString(), poPrinter.printerName(), {}, 1,
                          mlFlags};
    const std::optional<QString> chosen =
        answerHook() ? answerHook()(request) : runPrintDialog(request, poPrinter);
    if (!chosen) throw Failure(kCancelError, "Cancel was selected.", "CommonDialog");
    if (answerHook()) {
        poPrinter.setOutputFormat(QPrinter::NativeFormat);
        poPrinter.setPrinterName(*chosen);
    }
    // Qt falls back to a PDF file when it does not know the printer named.
    if (poPrinter.outputFormat() != QPrinter::NativeFormat || poPrinter.printerName() != *chosen)
        throw Failure(kPrinterError, "Printer error", "CommonDialog");
}

std::optional<QString> CommonDialog::runPrintDialog(const Request& poRequest, QPrinter& poPrinter) {
    QPrintDialog dialog(&poPrinter, mpOwner);
    dialog.setObjectName(QStringLiteral("cdlgMac"));
    dialog.setWindowTitle(poRequest.title);
    QAbstractPrintDialog::PrintDialogOptions options =
        QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintSelection |
        QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage |
        QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCollateCopies;
    if (poRequest.flags & kNoSelection) options &= ~QAbstractPrintDialog::PrintSelection;
    if (poRequest.flags & kNoPageNums)
        options &= ~(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage);
    if (poRequest.flags & kDisablePrintToFile) options &= ~QAbstractPrintDialog::PrintToFile;
    dialog.setOptions(options);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return poPrinter.printerName();
}

void CommonDialog::show(Kind piKind) {
    const Request request{piKind,        msvTitle, msvInitDir, msvFileName, parseFilter(msvFilter),
                          miFilterIndex, mlFlags};
    int chosenFilter = miFilterIndex;
    std::optional<QString> chosen;
    if (answerHook()) {
        chosen = answerHook()(request);
    } else {
        chosen = runDialog(request, chosenFilter);
    }
    if (!chosen) throw Failure(kCancelError, "Cancel was selected.", "CommonDialog");
    QString path = *chosen;
    if (piKind == Kind::Save && !QFileInfo(path).fileName().contains(QLatin1Char('.'))) {
        const QString suffix = defaultSuffix(request.filter, chosenFilter);
        if (!suffix.isEmpty() && !path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('.') + suffix;
    }
    msvFileName = path;
    msvLastFolder = QFileInfo(path).absolutePath();
    miFilterIndex = chosenFilter;
}

namespace {

// The proposed name stands selected in the name box, so that typing replaces
// it. The dialog puts it there unselected, and puts it there again when the
// folder's listing arrives, which is before the window has the focus when the
// folder was listed already (the second use of a dialog in one folder).
void selectNameWhenShown(QFileDialog& poDialog) {
    auto* name = poDialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) return;
    auto select = [name, proposed = name->text()] {
        if (name->text() == proposed && !name->hasSelectedText()) name->selectAll();
    };
    QObject::connect(qApp, &QGuiApplication::focusObjectChanged, name, [name, select](QObject* o) {
        if (o == name) select();
    });
    for (auto* model : poDialog.findChildren<QFileSystemModel*>())
        QObject::connect(model, &QFileSystemModel::directoryLoaded, name, select,
                         Qt::QueuedConnection);
    QTimer::singleShot(0, name, select);
}

}  // namespace

std::optional<QString> CommonDialog::runDialog(const Request& poRequest, int& piChosenFilter) {
    // A hidden owner (the player borrows the dialog of an editor it has not
    // shown) would place the dialog nowhere near the user's eyes.
    QWidget* owner = mpOwner && mpOwner->isVisible() ? mpOwner : QApplication::activeWindow();
    QFileDialog dialog(owner, poRequest.title);
    dialog.setObjectName(QStringLiteral("cdlgMac"));
    // The editor asks about overwriting itself, with its own words.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite |
                      QFileDialog::HideNameFilterDetails);
    if (poRequest.kind == Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    QStringList filters;
    for (const FilterChoice& choice : poRequest.filter)
        filters << qtNameFilter(choice);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = std::clamp(poRequest.filterIndex, 1, static_cast<int>(filters.size()));
        dialog.selectNameFilter(filters[index - 1]);
        const auto executables =
            std::find_if(poRequest.filter.begin(), poRequest.filter.end(), runsExecutables);
        if (executables != poRequest.filter.end()) {
            auto* proxy = new ExecutablesOnly(&dialog);
            dialog.setProxyModel(proxy);
            auto follow = [&poRequest, &filters, proxy](const QString& psvFilter) {
                const qsizetype chosen = filters.indexOf(psvFilter);
                proxy->setActive(chosen >= 0 &&
                                 runsExecutables(poRequest.filter[std::size_t(chosen)]));
            };
            QObject::connect(&dialog, &QFileDialog::filterSelected, proxy, follow);
            follow(filters[index - 1]);
        }
    }
    // The details (size, type, date) shown whole; the name takes the rest.
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = details->header();
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (!poRequest.initialFolder.isEmpty()) dialog.setDirectory(poRequest.initialFolder);
    if (!poRequest.fileName.isEmpty()) {
        const QFileInfo proposed(poRequest.fileName);
        if (poRequest.fileName.contains(QLatin1Char('/'))) {
            dialog.setDirectory(proposed.absolutePath());
            dialog.selectFile(proposed.fileName());
        } else {
            dialog.selectFile(poRequest.fileName);
        }
    }
    if (!poRequest.fileName.isEmpty()) selectNameWhenShown(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    // The dialog names the chosen filter by its description alone.
    const QString chosenFilter = dialog.selectedNameFilter();
    for (std::size_t i = 0; i < poRequest.filter.size(); ++i) {
        if (chosenFilter == filters[static_cast<qsizetype>(i)] ||
            chosenFilter == poRequest.filter[i].description.trimmed()) {
            piChosenFilter = static_cast<int>(i) + 1;
            break;
        }
    }
    return QDir::cleanPath(files.front());
}

}  // namespace tarn::editor
