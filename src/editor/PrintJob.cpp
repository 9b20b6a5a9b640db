// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintJob.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPrinter>

#include "Failure.h"

namespace tarn::editor {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr const char* kSource = "PrintJob";

Failure printerFailure() {
    return Failure(kPrinterError, "Printer error", kSource);
}

}  // namespace

PrintJob::~PrintJob() {
    if (mPainter.isActive()) mPainter.end();
}

QFont PrintJob::jobFont() {
    // Where the family is missing, the style hint steers the system's
    // substitute to a plain sans-serif face, as the family itself is.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(10);
    font.setBold(true);
    return font;
}

void PrintJob::begin(QPagedPaintDevice& pDevice) {
    if (mPainter.isActive()) end();
    if (!mPainter.begin(&pDevice)) throw printerFailure();
    mDevice = &pDevice;
    mDotsPerTwipX = pDevice.logicalDpiX() / kTwipsPerInch;
    mDotsPerTwipY = pDevice.logicalDpiY() / kTwipsPerInch;
    mPainter.setFont(jobFont());
    mMetrics = QFontMetricsF(mPainter.font(), &pDevice);
    mAscent = mMetrics.ascent();
    checkDevice();
}

void PrintJob::print(const QString& psvText, const QString& psvFile, const QString& psvDate) {
    if (!mPainter.isActive()) throw printerFailure();
    modWordwrap layout(pageSize(), measure(), psvDate,
                       [this](const Page& laidOut) { paintPage(laidOut); });
    layout.PrintWrapped(psvText, psvFile);
}

void PrintJob::end() {
    if (!mPainter.isActive()) return;
    const bool ended = mPainter.end();
    const auto* printer = dynamic_cast<const QPrinter*>(mDevice);
    mDevice = nullptr;
    if (!ended || (printer && printer->printerState() == QPrinter::Error)) throw printerFailure();
}

TextMeasure PrintJob::measure() const {
    TextMeasure measure;
    measure.width = [metrics = mMetrics, twipsPerDot = 1 / mDotsPerTwipX](const QString& text) {
        return metrics.horizontalAdvance(text) * twipsPerDot;
    };
    measure.lineHeight = mMetrics.lineSpacing() / mDotsPerTwipY;
    return measure;
}

PageSize PrintJob::pageSize() const {
    return PageSize{mDevice->width() / mDotsPerTwipX, mDevice->height() / mDotsPerTwipY};
}

void PrintJob::paintPage(const Page& pPage) {
    // A page that cannot be started is not a failure of the job: its text
    // then lands on the page before, and the job goes on.
    if (pPage.number > 1) mDevice->newPage();
    for (const TextRun& run : pPage.runs)
        mPainter.drawText(QPointF(run.x * mDotsPerTwipX, run.y * mDotsPerTwipY + mAscent),
                          run.text);
    checkDevice();
}

void PrintJob::checkDevice() const {
    const auto* printer = dynamic_cast<const QPrinter*>(mDevice);
    if (!mPainter.isActive() || (printer && printer->printerState() == QPrinter::Error))
        throw printerFailure();
}

}  // namespace tarn::editor
