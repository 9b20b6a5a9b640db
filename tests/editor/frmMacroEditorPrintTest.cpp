// SPDX-License-Identifier: GPL-3.0-or-later
// Print and Printer Setup of the editor window and the trace viewer, onto the
// current printer: a PDF file, or the queues of a private CUPS scheduler.
#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QToolBar>

#include "CurrentPrinter.h"
#include "EditorTest.h"
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

const QString kPrintError = QStringLiteral("Error during printing - Printer error - 482");

class PrintTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        noPrinter();
    }
    void TearDown() override {
        currentJob().end();
        noPrinter();
        EditorTest::TearDown();
    }
    // Qt's own state with no printer: a PDF writer without a file.
    static void noPrinter() { usePdf(QString()); }
    static void usePdf(const QString& psvFile) {
        currentPrinter().setOutputFormat(QPrinter::PdfFormat);
        currentPrinter().setOutputFileName(psvFile);
    }
    static int count(const PdfText& poText, int piPage, const QString& psvWord) {
        return static_cast<int>(
            std::count_if(poText.words.begin(), poText.words.end(),
                          [&](const PdfWord& w) { return w.page == piPage && w.text == psvWord; }));
    }
    // The one page of a printed PDF holds the title, the footer and the words.
    void expectPrinted(const QString& psvPdf, const QString& psvTitle, const QStringList& pWords) {
        const PdfText read = readPdfWords(psvPdf);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        EXPECT_EQ(read.pages, 1);
        // The date's first word may be a word of the text or the page number
        // on some days: each word is there as often as the page has it.
        const QStringList all =
            QStringList{psvTitle, todaysShortDate().section(QLatin1Char(' '), 0, 0),
                        QStringLiteral("Page"), QStringLiteral("1")} +
            pWords;
        for (const QString& word : all)
            EXPECT_EQ(count(read, 1, word), all.count(word))
                << word.toStdString() << " in " << psvPdf.toStdString();
    }
};

TEST_F(PrintTest, MenuCtrlPAndToolbarPrintTheWholeTextUnderItsPath) {
    const QString file = put(QStringLiteral("demo.mcr"), "Send \"x\"\r\nWait 3\r\n");
    auto form = shownEditor();
    ASSERT_TRUE(form->OpenMacro(file));
    QAction* toolbarPrint = form->toolBar()->findChild<QAction*>(QStringLiteral("tbToolBarPrint"));
    ASSERT_NE(toolbarPrint, nullptr);
    const std::function<void()> ways[] = {
        [&] { action(*form, "mnuFilePrint")->trigger(); },
        [&] { key(*form, Qt::Key_P, Qt::ControlModifier); },
        [&] { toolbarPrint->trigger(); },
    };
    int n = 0;
    for (const auto& print : ways) {
        const QString pdf = path(QStringLiteral("out%1.pdf").arg(++n));
        usePdf(pdf);
        print();
        expectPrinted(pdf, file, {"Send", "\"x\"", "Wait", "3"});
    }
    EXPECT_TRUE(mMessages.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PrintTest, UntitledTextAndTraceViewerPrintToo) {
    auto form = editor();
    type(*form, QStringLiteral("typed words"));
    usePdf(path(QStringLiteral("untitled.pdf")));
    form->mnuFilePrint_Click();
    expectPrinted(path(QStringLiteral("untitled.pdf")), QStringLiteral("Untitled"),
                  {"typed", "words"});

    const QString trace = put(QStringLiteral("TarnTrace.txt"), "Run started\r\nWait 7\r\n");
    frmMacroEditor viewer;
    viewer.ViewLogMode();
    ASSERT_TRUE(viewer.OpenMacro(trace));
    usePdf(path(QStringLiteral("trace.pdf")));
    action(viewer, "mnuFilePrint")->trigger();
    expectPrinted(path(QStringLiteral("trace.pdf")), trace, {"Run", "started", "Wait", "7"});
    EXPECT_TRUE(mMessages.empty());
}

TEST_F(PrintTest, AFailingPrinterIsReportedWithNumberAndDescription) {
    auto form = editor();
    usePdf(QStringLiteral("/nonexistent-folder/out.pdf"));
    form->mnuFilePrint_Click();
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_FALSE(mMessages[0].question);
    EXPECT_EQ(mMessages[0].title, QStringLiteral("Tarn Macro Editor"));
    EXPECT_EQ(mMessages[0].text, kPrintError);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PrintTest, WithNoPrinterAtAllPrintAndSetupSaySo) {
    auto form = editor();
    form->mnuFilePrint_Click();
    form->mnuFilePrinterSetup_Click();
    ASSERT_EQ(mMessages.size(), 2u);
    for (const Message& message : mMessages) {
        EXPECT_EQ(message.title, QStringLiteral("Tarn Macro Editor"));
        EXPECT_EQ(message.text, kNoPrinterText);
    }
    EXPECT_TRUE(mDialogs.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PrintTest, SetupChoosesThePrinterOfTheNextPrint) {
    PrivateCups cups;
    ASSERT_TRUE(cups.start(QStringLiteral("First"))) << cups.error().toStdString();
    ASSERT_TRUE(cups.addQueue(QStringLiteral("Second")));
    auto form = editor();
    type(*form, QStringLiteral("chosen"));

    mDialogAnswers = {QString(), QStringLiteral("Second"), QStringLiteral("Missing")};
    form->mnuFilePrinterSetup_Click();  // cancelled: nothing changes, nothing shown
    EXPECT_TRUE(mMessages.empty());
    EXPECT_EQ(currentPrinter().printerName(), QStringLiteral("First"));
    form->mnuFilePrinterSetup_Click();
    ASSERT_EQ(mDialogs.size(), 2u);
    EXPECT_EQ(mDialogs[1].kind, CommonDialog::Kind::Printer);
    EXPECT_EQ(mDialogs[1].title, QStringLiteral("Macro File Printer Setup"));
    EXPECT_EQ(mDialogs[1].flags, 0xC000C);
    form->mnuFilePrint_Click();
    form->mnuFilePrinterSetup_Click();  // a printer that is not there
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0].text,
              QStringLiteral("Error during printer setup - Printer error - 482"));

    const QStringList jobs = cups.waitForJobs(1, 30s);
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_TRUE(jobs[0].endsWith(QStringLiteral("-Second.pdf"))) << jobs[0].toStdString();
    expectPrinted(jobs[0], QStringLiteral("Untitled"), {"chosen"});
}

TEST_F(PrintTest, AJobLeftOpenIsSentByTheNextPrint) {
    PrivateCups cups;
    ASSERT_TRUE(cups.start(QStringLiteral("Queue"))) << cups.error().toStdString();
    ASSERT_TRUE(printerAvailable());
    // What a Print that failed in the middle leaves: a job with its pages,
    // never ended.
    currentJob().begin(currentPrinter());
    currentJob().print(QStringLiteral("leftover"), QString(), todaysShortDate());
    auto form = editor();
    type(*form, QStringLiteral("fresh"));
    form->mnuFilePrint_Click();
    EXPECT_TRUE(mMessages.empty());

    const QStringList jobs = cups.waitForJobs(2, 30s);
    ASSERT_EQ(jobs.size(), 2);
    expectPrinted(jobs[0], QStringLiteral("Untitled"), {"leftover"});
    expectPrinted(jobs[1], QStringLiteral("Untitled"), {"fresh"});
}

// The real printer dialog, with the title and options Setup gives it.
TEST_F(PrintTest, SetupShowsThePrinterDialogWithItsTitleAndOptions) {
    PrivateCups cups;
    ASSERT_TRUE(cups.start(QStringLiteral("Shown"))) << cups.error().toStdString();
    CommonDialog::setAnswerHook(nullptr);
    auto form = editor();
    for (bool accept : {false, true}) {
        QString title;
        QAbstractPrintDialog::PrintDialogOptions options;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            title = dialog->windowTitle();
            options = dialog->options();
            accept ? dialog->accept() : dialog->reject();
        });
        // Bounded: a dialog still open after 10 s is closed, failing the checks.
        QTimer::singleShot(10000, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        poll.start(20);
        form->mnuFilePrinterSetup_Click();
        poll.stop();
        EXPECT_EQ(title, QStringLiteral("Macro File Printer Setup"));
        EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintSelection));
        EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintPageRange));
        EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintToFile));
        EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintCollateCopies));
    }
    EXPECT_TRUE(mMessages.empty());
    EXPECT_EQ(currentPrinter().printerName(), QStringLiteral("Shown"));
}

}  // namespace
}  // namespace tarn::editor::test
