// SPDX-License-Identifier: GPL-3.0-or-later
// Print and Printer Setup of the editor window and the trace viewer, onto the
// current printer: a PDF file, or the queues of a private CUPS scheduler; and
// a print job alone into a PDF file, every run where the layout put it.
#include <gtest/gtest.h>
#include <cmath>

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QToolBar>

#include "CurrentPrinter.h"
#include "EditorTest.h"
#include "ModalWatch.h"
#include "PdfWords.h"
#include "PrintJob.h"
#include "PrivateCups.h"
#include "modWordwrap.h"

namespace tarn::editor::test {
namespace {

using namespace std::chrono_literals;
using editor::testing::PdfText;
using editor::testing::PdfWord;
using editor::testing::PrivateCups;
using editor::testing::readPdfWords;

class PrintTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        usePdf(QString());
    }
    void TearDown() override {
        currentJob().end();
        usePdf(QString());
        EditorTest::TearDown();
    }
    // No file is Qt's own state with no printer: a PDF writer without a file.
    static void usePdf(const QString& psvFile) {
        currentPrinter().setOutputFormat(QPrinter::PdfFormat);
        currentPrinter().setOutputFileName(psvFile);
    }
    // The one page of a printed PDF holds the title, the footer and the words.
    static void expectPrinted(const QString& psvPdf, const QString& psvTitle,
                              const QStringList& pWords) {
        const PdfText read = readPdfWords(psvPdf);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        EXPECT_EQ(read.pages, 1);
        // The date's first word may be a word of the text or the page number
        // on some days: each word is there as often as the page has it.
        const QStringList all =
            QStringList{psvTitle, todaysShortDate().section(' ', 0, 0), "Page", "1"} + pWords;
        for (const QString& word : all) {
            const auto count =
                std::count_if(read.words.begin(), read.words.end(),
                              [&](const PdfWord& w) { return w.page == 1 && w.text == word; });
            EXPECT_EQ(count, all.count(word))
                << word.toStdString() << " in " << psvPdf.toStdString();
        }
    }
};

// The menu, Ctrl+P and the toolbar print the whole text under its path
// ("Untitled" without one); the trace viewer prints too.
TEST_F(PrintTest, EveryWayPrintsTheWholeTextUnderItsPath) {
    const QString file = put("demo.mcr", "Send \"x\"\r\nWait 3\r\n");
    const QString trace = put("TarnTrace.txt", "Run started\r\nWait 7\r\n");
    auto form = shownEditor();
    frmMacroEditor viewer;
    viewer.ViewLogMode();
    ASSERT_TRUE(viewer.OpenMacro(trace));
    type(*form, "typed words");
    usePdf(path("menu.pdf"));
    action(*form, "mnuFilePrint")->trigger();
    expectPrinted(path("menu.pdf"), "Untitled", {"typed", "words"});
    mAnswers = {false};  // the typed words are not saved
    ASSERT_TRUE(form->OpenMacro(file));
    usePdf(path("ctrlp.pdf"));
    key(*form, Qt::Key_P, Qt::ControlModifier);
    expectPrinted(path("ctrlp.pdf"), file, {"Send", "\"x\"", "Wait", "3"});
    usePdf(path("toolbar.pdf"));
    form->toolBar()->findChild<QAction*>("tbToolBarPrint")->trigger();
    expectPrinted(path("toolbar.pdf"), file, {"Send", "\"x\"", "Wait", "3"});
    usePdf(path("viewer.pdf"));
    action(viewer, "mnuFilePrint")->trigger();
    expectPrinted(path("viewer.pdf"), trace, {"Run", "started", "Wait", "7"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(mMessages.size(), 1u);  // only the question about saving
    EXPECT_TRUE(mMessages[0].question);
}

TEST_F(PrintTest, AFailingPrinterIsReportedWithNumberAndDescription) {
    auto form = editor();
    usePdf("/nonexistent-folder/out.pdf");
    form->mnuFilePrint_Click();
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_FALSE(mMessages[0].question);
    EXPECT_EQ(mMessages[0].text, "Error during printing - Printer error - 482");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A printer installed while the program runs becomes the current one without
// a restart.
TEST_F(PrintTest, WithNoPrinterAtAllPrintAndSetupSaySoUntilOneIsInstalled) {
    auto form = editor();
    form->mnuFilePrint_Click();
    form->mnuFilePrinterSetup_Click();
    ASSERT_EQ(mMessages.size(), 2u);
    for (const Message& message : mMessages)
        EXPECT_EQ(message.text, kNoPrinterText);
    EXPECT_TRUE(mDialogs.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    PrivateCups cups;
    ASSERT_TRUE(cups.start("Later")) << cups.error().toStdString();
    EXPECT_TRUE(printerAvailable());
    EXPECT_EQ(currentPrinter().outputFormat(), QPrinter::NativeFormat);
    EXPECT_EQ(currentPrinter().printerName(), "Later");
}

TEST_F(PrintTest, SetupChoosesThePrinterOfTheNextPrint) {
    PrivateCups cups;
    ASSERT_TRUE(cups.start("First")) << cups.error().toStdString();
    ASSERT_TRUE(cups.addQueue("Second"));
    auto form = editor();
    type(*form, "chosen");
    mDialogAnswers = {QString(), "Second", "Missing"};
    form->mnuFilePrinterSetup_Click();  // cancelled: nothing changes, nothing shown
    EXPECT_TRUE(mMessages.empty());
    EXPECT_EQ(currentPrinter().printerName(), "First");
    form->mnuFilePrinterSetup_Click();
    ASSERT_EQ(mDialogs.size(), 2u);
    EXPECT_EQ(mDialogs[1].kind, CommonDialog::Kind::Printer);
    form->mnuFilePrint_Click();
    form->mnuFilePrinterSetup_Click();  // a printer that is not there
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0].text, "Error during printer setup - Printer error - 482");
    const QStringList jobs = cups.waitForJobs(1, 30s);
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_TRUE(jobs[0].endsWith("-Second.pdf")) << jobs[0].toStdString();
    expectPrinted(jobs[0], "Untitled", {"chosen"});

    // The real printer dialog, with the title and options Setup gives it.
    CommonDialog::setAnswerHook(nullptr);
    for (bool accept : {false, true}) {
        QString title;
        QAbstractPrintDialog::PrintDialogOptions options;
        ModalWatch watch(
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<QPrintDialog*>(modal);
                if (!dialog) return (void)modal->close();
                title = dialog->windowTitle();
                options = dialog->options();
                accept ? dialog->accept() : dialog->reject();
            },
            nullptr, 10000);
        form->mnuFilePrinterSetup_Click();
        EXPECT_EQ(title, "Macro File Printer Setup");
        EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintSelection));
        EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintPageRange));
        EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintToFile));
        EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintCollateCopies));
    }
    EXPECT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(currentPrinter().printerName(), "Second");
}

TEST_F(PrintTest, AJobLeftOpenIsSentByTheNextPrint) {
    PrivateCups cups;
    ASSERT_TRUE(cups.start("Queue")) << cups.error().toStdString();
    ASSERT_TRUE(printerAvailable());
    // What a Print that failed in the middle leaves: a job with its pages,
    // never ended.
    currentJob().begin(currentPrinter());
    currentJob().print("leftover", QString(), todaysShortDate());
    auto form = editor();
    type(*form, "fresh");
    form->mnuFilePrint_Click();
    EXPECT_TRUE(mMessages.empty());
    const QStringList jobs = cups.waitForJobs(2, 30s);
    ASSERT_EQ(jobs.size(), 2);
    expectPrinted(jobs[0], "Untitled", {"leftover"});
    expectPrinted(jobs[1], "Untitled", {"fresh"});
}

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
}  // namespace tarn::editor::test
