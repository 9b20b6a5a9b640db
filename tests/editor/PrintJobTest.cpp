// SPDX-License-Identifier: GPL-3.0-or-later
// Printing through QPrinter into a PDF file (the engine the CUPS printers use
// too), read back with pdftotext: every word, the title, the date and the page
// numbers must stand where the layout put them, on the right page.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QTemporaryDir>
#include <cmath>

#include "Failure.h"
#include "PdfWords.h"
#include "PrintJob.h"

namespace tarn::editor {
namespace {

using testing::PdfText;
using testing::PdfWord;
using testing::readPdfWords;

constexpr double kTwipsPerPoint = 20;

// Lines with tabs and CR LF ends, then one long paragraph that must wrap:
// about three A4 pages.
QString sampleText() {
    QString text;
    for (int i = 1; i <= 90; ++i)
        text += QStringLiteral("line%1 alpha\tbeta gamma\r\n").arg(i);
    for (int i = 1; i <= 400; ++i)
        text += QStringLiteral("word%1 ").arg(i);
    return text;
}

void preparePdf(QPrinter& printer, const QString& file) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(15, 12, 10, 8), QPageLayout::Millimeter);
}

TEST(PrintJob, PdfShowsEveryRunWhereTheLayoutPutIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    const QString title = dir.filePath(QStringLiteral("demo.mcr"));
    QPrinter printer(QPrinter::HighResolution);
    preparePdf(printer, pdf);

    PrintJob job;
    job.begin(printer);
    std::vector<Page> expected;
    modWordwrap(job.pageSize(), job.measure(), todaysShortDate(), [&](const Page& page) {
        expected.push_back(page);
    }).PrintWrapped(sampleText(), title);
    // 10 points on the page: a line of the font in points.
    const double linePoints = job.measure().lineHeight / kTwipsPerPoint;
    ASSERT_GT(linePoints, 10.0);
    ASSERT_LT(linePoints, 13.0);
    job.print(sampleText(), title, todaysShortDate());
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

    // The absolute places, in points: margins of 720 twips are 36 points,
    // the body starts 72 points below the top of the printable area.
    for (int number = 1; number <= read.pages; ++number) {
        auto wordOnPage = [&](const QString& text) {
            for (const PdfWord& w : read.words)
                if (w.page == number && w.text == text) return w;
            ADD_FAILURE() << text.toStdString() << " missing on page " << number;
            return PdfWord{};
        };
        const PdfWord head = wordOnPage(title);
        EXPECT_NEAR((head.xMin + head.xMax) / 2, area.center().x(), 0.5);
        const PdfWord date = wordOnPage(todaysShortDate().split(QLatin1Char(' ')).front());
        EXPECT_NEAR(date.xMin, area.left() + 36, 0.2);
        const PdfWord pageNumber = wordOnPage(QString::number(number));
        EXPECT_NEAR(pageNumber.xMax, area.right() - 36, 0.5);
        EXPECT_NEAR(pageNumber.yMax, date.yMax, 0.1);
        EXPECT_GT(date.yMin, area.bottom() - 36 - 1);
        EXPECT_LT(date.yMin, area.bottom() - 36 + 1);
    }
    const auto body = std::find_if(read.words.begin(), read.words.end(),
                                   [](const PdfWord& w) { return w.text == "line1"; });
    ASSERT_NE(body, read.words.end());
    EXPECT_EQ(body->page, 1);
    EXPECT_NEAR(body->xMin, area.left() + 36, 0.2);
    EXPECT_NEAR(body->yMin, area.top() + 72, 1.0);
}

TEST(PrintJob, ADeviceThatRefusesTheJobIsAPrinterError) {
    QPrinter printer(QPrinter::HighResolution);
    preparePdf(printer, QStringLiteral("/nonexistent-folder/out.pdf"));
    PrintJob job;
    try {
        job.begin(printer);
        FAIL() << "the job began";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), kPrinterError);
        EXPECT_EQ(failure.description(), "Printer error");
    }
    EXPECT_FALSE(job.isOpen());
}

}  // namespace
}  // namespace tarn::editor
