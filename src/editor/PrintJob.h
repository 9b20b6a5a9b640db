// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One print job on a paged device (a printer, or a PDF file through the same
// QPrinter path): it opens the job, paints the pages modWordwrap lays out
// with twips mapped to the device's resolution, and ends the job. The font of
// the whole job is "MS Sans Serif" 10 points bold, or the family the system
// puts in its place, and text is measured in that font on that device, so the
// layout sees the widths the page will show.

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QString>
#include <cstdint>

#include "modWordwrap.h"

class QPagedPaintDevice;

namespace tarn::editor {

// The runtime's number for a printer that refuses a job or fails in one.
inline constexpr std::int32_t kPrinterError = 482;

class PrintJob {
  public:
    PrintJob() = default;
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;
    // A job still open here is ended, which sends what it holds.
    ~PrintJob();

    // Opens the job on pDevice; throws a Failure when the device refuses it.
    void begin(QPagedPaintDevice& pDevice);
    bool isOpen() const { return mPainter.isActive(); }
    // Prints the text from the job's first page on; psvFile is the title
    // (empty for an untitled text) and psvDate the footer's date. Throws a
    // Failure when the device fails during the job; the job then stays open.
    void print(const QString& psvText, const QString& psvFile, const QString& psvDate);
    // Ends the job: the device writes or sends it. Throws when that fails.
    void end();

    // While the job is open: its font measured on its device, and the
    // device's printable area, both in twips.
    TextMeasure measure() const;
    PageSize pageSize() const;

    // The font of every printed job.
    static QFont jobFont();

  private:
    void paintPage(const Page& pPage);
    void checkDevice() const;

    QPainter mPainter;
    QPagedPaintDevice* mDevice = nullptr;
    double mDotsPerTwipX = 0;
    double mDotsPerTwipY = 0;
    double mAscent = 0;
    QFontMetricsF mMetrics{QFont()};
};

}  // namespace tarn::editor
