// SPDX-License-Identifier: GPL-3.0-or-later
// Printing through QPrinter into a PDF file (the engine the CUPS printers use
// too), read back with pdftotext: every word, the title, the date and the page
// numbers must stand where the layout put them, on the right page.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QTemporaryDir>
#include <cmath>

#include "PdfWords.h"
#include "PrintJob.h"

namespace tarn::editor {
namespace {

using testing::PdfText;
using testing::PdfWord;
using testing::readPdfWords;

constexpr double kTwipsPerPoint = 20;

TEST(PrintJob, PdfShowsEveryRunWhereTheLayoutPutIt) {
    // Lines with tabs and CR LF ends, then one long paragraph that must wrap:
    // about three A4 pages.
    QString text;
    for (int i = 1; i <= 90; ++i)
        text += QStringLiteral("line%1 alpha\tbeta gamma\r\n").arg(i);
    for (int i = 1; i <= 400; ++i)
        text += QStringLiteral("word%1 ").arg(i);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath("out.pdf"), title = dir.filePath("demo.mcr");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(15, 12, 10, 8), QPageLayout::Millimeter);

    PrintJob job;
    job.begin(printer);
    std::vector<Page> expected;
    modWordwrap(job.pageSize(), job.measure(), todaysShortDate(), [&](const Page& page) {
        expected.push_back(page);
    }).PrintWrapped(text, title);
    // 10 points on the page: a line of the font in points.
    const double linePoints = job.measure().lineHeight / kTwipsPerPoint;
    ASSERT_GT(linePoints, 10.0);
    ASSERT_LT(linePoints, 13.0);
    job.print(text, title, todaysShortDate());
    job.end();

    const PdfText read = readPdfWords(pdf);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_GE(expected.size(), 3u);
    ASSERT_EQ(read.pages, static_cast<int>(expected.size()));

    const QRectF area = printer.pageLayout().paintRect(QPageLayout::Point);
    size_t expectedWords = 0;
    for (const Page& page : expected) {
        for (const TextRun& run : page.runs) {
            const QStringList words = run.text.split(QLatin1Char(' '));
            expectedWords += words.size();
            // The first word of a run starts at the run's position; its box
            // top is the top of the line within a point.
            const double x = area.left() + run.x / kTwipsPerPoint;
            const double y = area.top() + run.y / kTwipsPerPoint;
            const bool found =
                std::any_of(read.words.begin(), read.words.end(), [&](const PdfWord& w) {
                    return w.page == page.number && w.text == words.front() &&
                           std::abs(w.xMin - x) < 0.2 && std::abs(w.yMin - y) < 1.0;
                });
            EXPECT_TRUE(found) << "page " << page.number << ": " << run.text.toStdString() << " at "
                               << x << "," << y;
        }
    }
    EXPECT_EQ(read.words.size(), expectedWords);

    // The measure is the printed font's: what the layout centred or set to end
    // at the right margin does so on paper.
    for (const PdfWord& w : read.words) {
        if (w.text == title) {
            EXPECT_NEAR((w.xMin + w.xMax) / 2, area.center().x(), 0.5);
        } else if (w.text == QString::number(w.page)) {
            EXPECT_NEAR(w.xMax, area.right() - 36, 0.5);
        }
    }
}

}  // namespace
}  // namespace tarn::editor
