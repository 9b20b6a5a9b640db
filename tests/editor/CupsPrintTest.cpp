// SPDX-License-Identifier: GPL-3.0-or-later
// A real print job: Qt's CUPS printer sends the job to a private scheduler,
// whose raw queue hands the PDF to a back end that keeps it for reading back.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QPrinterInfo>

#include "CurrentPrinter.h"
#include "PdfWords.h"
#include "PrintJob.h"
#include "PrivateCups.h"

namespace tarn::editor {
namespace {

using namespace std::chrono_literals;
using testing::PdfWord;

TEST(CupsPrint, AJobReachesThePrinterWithItsPagesAndWords) {
    testing::PrivateCups cups;
    ASSERT_TRUE(cups.start(QStringLiteral("TarnTest"))) << cups.error().toStdString();
    ASSERT_EQ(QPrinterInfo::defaultPrinter().printerName(), QStringLiteral("TarnTest"));

    QPrinter printer(QPrinter::HighResolution);
    ASSERT_EQ(printer.outputFormat(), QPrinter::NativeFormat);
    ASSERT_EQ(printer.printerName(), QStringLiteral("TarnTest"));
    QString text = QStringLiteral("Send \"hello\"\r\n");
    for (int i = 0; i < 80; ++i)
        text += QStringLiteral("Wait 5\r\n");
    text += QStringLiteral("Rem last");
    const QString title = QStringLiteral("/srv/macros/cups.mcr");
    PrintJob job;
    job.begin(printer);
    job.print(text, title, todaysShortDate());
    job.end();

    const QStringList jobs = cups.waitForJobs(1, 30s);
    ASSERT_EQ(jobs.size(), 1) << "no job arrived in " << cups.outFolder().toStdString();
    const testing::PdfText read = testing::readPdfWords(jobs.front());
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.pages, 2);
    auto onPage = [&](int page, const QString& word) {
        return std::count_if(read.words.begin(), read.words.end(),
                             [&](const PdfWord& w) { return w.page == page && w.text == word; });
    };
    for (int page : {1, 2}) {
        EXPECT_EQ(onPage(page, title), 1) << page;
        EXPECT_EQ(onPage(page, todaysShortDate().split(QLatin1Char(' ')).front()), 1) << page;
        EXPECT_EQ(onPage(page, QStringLiteral("Page")), 1) << page;
        EXPECT_EQ(onPage(page, QString::number(page)), 1) << page;
    }
    EXPECT_EQ(onPage(1, QStringLiteral("\"hello\"")), 1);
    EXPECT_EQ(onPage(2, QStringLiteral("last")), 1);
    EXPECT_EQ(onPage(1, QStringLiteral("Wait")) + onPage(2, QStringLiteral("Wait")), 80);
}

// With no printer anywhere the program says so; a printer installed while it
// runs becomes the current one without a restart.
TEST(CupsPrint, APrinterInstalledWhileRunningBecomesCurrent) {
    QPrinter& printer = currentPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString());
    EXPECT_FALSE(printerAvailable());

    testing::PrivateCups cups;
    ASSERT_TRUE(cups.start(QStringLiteral("Later"))) << cups.error().toStdString();
    EXPECT_TRUE(printerAvailable());
    EXPECT_EQ(printer.outputFormat(), QPrinter::NativeFormat);
    EXPECT_EQ(printer.printerName(), QStringLiteral("Later"));
}

}  // namespace
}  // namespace tarn::editor
