// SPDX-License-Identifier: GPL-3.0-or-later
// Printing onto a PDF file or the queues of a private CUPS scheduler, and
// the page layout.
#include <cmath>
#include <vector>

#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTextDocumentFragment>

#include "CurrentPrinter.h"
#include "EditorTest.h"
#include "ModalWatch.h"
#include "PrintJob.h"
#include "PrivateCups.h"
#include "modWordwrap.h"

namespace tarn::editor::test {
namespace {

using namespace std::chrono_literals;
using editor::testing::PrivateCups;

// The words of a PDF with their boxes, as poppler's `pdftotext -bbox` reads
// them back: positions in points from the top-left corner of each page.
struct PdfWord {
    int page = 0;  // 1 for the first page
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    QString text;
};

struct PdfText {
    int pages = 0;
    std::vector<PdfWord> words;
};

// A PDF that pdftotext cannot read fails the test and has no pages.
PdfText readPdfWords(const QString& pdf) {
    PdfText result;
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-bbox", pdf, "-"});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0) {
        pdftotext.kill();
        pdftotext.waitForFinished(5000);
        ADD_FAILURE() << "pdftotext failed on " << pdf.toStdString() << ": "
                      << pdftotext.readAllStandardError().toStdString();
        return result;
    }
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    static const QRegularExpression tag(QStringLiteral(
        R"re(<page [^>]*>|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++result.pages;
            continue;
        }
        // A proportional font joins "fi" and "fl" into one glyph, which is
        // read back as a ligature character: words as a reader sees them.
        result.words.push_back(PdfWord{result.pages, m.captured(1).toDouble(),
                                       m.captured(2).toDouble(), m.captured(3).toDouble(),
                                       m.captured(4).toDouble(),
                                       QTextDocumentFragment::fromHtml(m.captured(5))
                                           .toPlainText()
                                           .normalized(QString::NormalizationForm_KC)});
    }
    return result;
}

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
        EXPECT_EQ(read.pages, 1) << psvPdf.toStdString();
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
    EXPECT_EQ(shown(), QStringList{"? Tarn Macro Editor: Save the current file"});
}

// With no printer Print and Setup say so, and a failing printer is reported
// with number and description. A printer installed while the program runs
// becomes the current one without a restart; Setup chooses the printer of the
// next print, which first sends the job a failed Print left open.
TEST_F(PrintTest, PrintAndSetupFollowThePrintersThereAre) {
    auto form = editor();
    form->mnuFilePrint_Click();
    form->mnuFilePrinterSetup_Click();
    usePdf("/nonexistent-folder/out.pdf");
    form->mnuFilePrint_Click();
    const QString noPrinter = "Tarn Macro Editor: " + kNoPrinterText;
    EXPECT_EQ(shown(),
              (QStringList{noPrinter, noPrinter,
                           "Tarn Macro Editor: Error during printing - Printer error - 482"}));
    EXPECT_TRUE(mDialogs.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    usePdf(QString());
    mMessages.clear();

    PrivateCups cups;
    ASSERT_TRUE(cups.start("First")) << cups.error().toStdString();
    ASSERT_TRUE(cups.addQueue("Second"));
    EXPECT_TRUE(printerAvailable());
    EXPECT_EQ(currentPrinter().outputFormat(), QPrinter::NativeFormat);
    EXPECT_EQ(currentPrinter().printerName(), "First");
    type(*form, "chosen");
    mDialogAnswers = {QString(), "Second", "Missing"};
    form->mnuFilePrinterSetup_Click();  // cancelled: nothing changes, nothing shown
    EXPECT_TRUE(mMessages.empty());
    EXPECT_EQ(currentPrinter().printerName(), "First");
    form->mnuFilePrinterSetup_Click();
    ASSERT_EQ(mDialogs.size(), 2u);
    EXPECT_EQ(mDialogs[1].kind, CommonDialog::Kind::Printer);
    // What a Print that failed in the middle leaves: a job with its pages,
    // never ended.
    currentJob().begin(currentPrinter());
    currentJob().print("leftover", QString(), todaysShortDate());
    form->mnuFilePrint_Click();
    form->mnuFilePrinterSetup_Click();  // a printer that is not there
    EXPECT_EQ(shown(),
              QStringList{"Tarn Macro Editor: Error during printer setup - Printer error - 482"});
    const QStringList jobs = cups.waitForJobs(2, 30s);
    ASSERT_EQ(jobs.size(), 2);
    for (const QString& job : jobs)
        EXPECT_TRUE(job.endsWith("-Second.pdf")) << job.toStdString();
    expectPrinted(jobs[0], "Untitled", {"leftover"});
    expectPrinted(jobs[1], "Untitled", {"chosen"});

    // The real printer dialog, with the title Setup gives it.
    CommonDialog::setAnswerHook(nullptr);
    for (bool accept : {false, true}) {
        QString title;
        ModalWatch watch(
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<QPrintDialog*>(modal);
                if (!dialog) return (void)modal->close();
                title = dialog->windowTitle();
                accept ? dialog->accept() : dialog->reject();
            },
            nullptr, 10000);
        form->mnuFilePrinterSetup_Click();
        EXPECT_EQ(title, "Macro File Printer Setup");
    }
    EXPECT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(currentPrinter().printerName(), "Second");
}

constexpr double kTwipsPerPoint = 20;

TEST_F(EditorTest, PrintJobPdfShowsEveryRunWhereTheLayoutPutIt) {
    // Lines with tabs and CR LF ends, then one long paragraph that must wrap:
    // about three A4 pages.
    QString text;
    for (int i = 1; i <= 90; ++i)
        text += QStringLiteral("line%1 alpha\tbeta gamma\r\n").arg(i);
    for (int i = 1; i <= 400; ++i)
        text += QStringLiteral("word%1 ").arg(i);
    const QString pdf = path("out.pdf"), title = path("demo.mcr");
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

// The page layout with a fixed measure: every character 100 twips wide except
// "." (50), lines 200 twips high, on a printable area of 5440 x 4000 twips. So
// the body runs from x 720 to the wrap limit 4720 (40 characters), and six
// lines (y 1440 to 2440) fit above the body limit 2560.
constexpr PageSize kPage{5440, 4000};
const QString kDate = QStringLiteral("06/12/2026");

TextMeasure fixedMeasure() {
    TextMeasure measure;
    measure.width = [](const QString& text) {
        double width = 0;
        for (QChar c : text)
            width += c == QLatin1Char('.') ? 50 : 100;
        return width;
    };
    measure.lineHeight = 200;
    return measure;
}

std::vector<Page> layOut(const QString& text, const QString& file = {}) {
    std::vector<Page> pages;
    modWordwrap layout(kPage, fixedMeasure(), kDate,
                       [&](const Page& page) { pages.push_back(page); });
    layout.PrintWrapped(text, file);
    return pages;
}

// The runs of one kind as "page x,y text".
QStringList runsOf(const std::vector<Page>& pages, RunKind kind = RunKind::Body) {
    QStringList runs;
    for (const Page& page : pages)
        for (const TextRun& run : page.runs)
            if (run.kind == kind)
                runs << QStringLiteral("%1 %2,%3 %4")
                            .arg(page.number)
                            .arg(run.x)
                            .arg(run.y)
                            .arg(run.text);
    return runs;
}

// Body runs apart by "|"; as whole words a and b stand for 20 of the letter,
// B for 19 b and w for 60 w.
TEST(modWordwrap, BodyRuns) {
    const std::pair<const char*, const char*> cases[] = {
        {"ab cd", "1 720,1440 ab|1 1020,1440 cd"},
        {"  a", "1 920,1440 a"},  // leading spaces move without a test
        // A word past the limit wraps, its space stays behind; one ending on it stays.
        {"a b", "1 720,1440 a|1 720,1640 b"},
        {"a B", "1 720,1440 a|1 2820,1440 B"},
        {"x\ny", "1 720,1440 x|1 720,1640 y"},
        {"x\r\ny", "1 720,1440 x|1 720,1640 y"},  // CR LF is one line break
        {"x\ry", "1 720,1440 x|1 820,1440 y"},    // a lone CR prints and breaks nothing
        {"x\x01\x1by", "1 720,1440 x|1 820,1440 y"},
        {"x\n\n\ny", "1 720,1440 x|1 720,2040 y"},
        {"\tx", "1 1720,1440 x"},
        {"\t\tx", "1 2720,1440 x"},
        {"y\tx", "1 720,1440 y|1 1720,1440 x"},
        // A tab rounds the position (9.5 widths to 10), then moves on; a
        // position on a stop moves to the next one.
        {"yyyyyyyyy.\tx", "1 720,1440 yyyyyyyyy.|1 2720,1440 x"},
        {"yyyyyyyyyy\tx", "1 720,1440 yyyyyyyyyy|1 2720,1440 x"},
        // An overlong word at the start of a line gets an empty line first;
        // after a word it takes its own line and runs past the margin.
        {"w", "1 720,1640 w"},
        {"x w y", "1 720,1440 x|1 720,1640 w|1 720,1840 y"},
        {"\xc3\xa9t\xc3\xa9\xc2\xa0x y", "1 720,1440 \xc3\xa9t\xc3\xa9\xc2\xa0x|1 1320,1440 y"},
        // The seventh line starts page 2 at the body top, as does a wrap there.
        {"1\n2\n3\n4\n5\n6\n7",
         "1 720,1440 1|1 720,1640 2|1 720,1840 3|1 720,2040 4|1 720,2240 5|1 720,2440 6|"
         "2 720,1440 7"},
        {"1\n2\n3\n4\n5\na b",
         "1 720,1440 1|1 720,1640 2|1 720,1840 3|1 720,2040 4|1 720,2240 5|1 720,2440 a|"
         "2 720,1440 b"},
    };
    const auto expand = [](const char* psvText) {
        return QString::fromUtf8(psvText)
            .replace(QRegularExpression("\\ba\\b"), QString(20, u'a'))
            .replace(QRegularExpression("\\bb\\b"), QString(20, u'b'))
            .replace(QRegularExpression("\\bB\\b"), QString(19, u'b'))
            .replace(QRegularExpression("\\bw\\b"), QString(60, u'w'));
    };
    for (const auto& [text, body] : cases)
        EXPECT_EQ(runsOf(layOut(expand(text))).join('|'), expand(body)) << text;
}

// The title centred in the top 1440, date and number on the footer line 720
// above the bottom, the number ending 720 from the right edge.
TEST(modWordwrap, EveryPageHasTitleDateAndNumber) {
    const QString path = "/home/user/macros/demo.mcr";  // 26 characters, one of them "."
    const struct {
        QString text, file, title;
        double titleX;
        int pages;
    } cases[] = {
        {"", "", "Untitled", (5440 - 800) / 2.0, 1},
        {"", path, path, (5440 - 2550) / 2.0, 1},
        {"1\n2\n3\n4\n5\n6\n7", path, path, (5440 - 2550) / 2.0, 2},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13", "", "Untitled", (5440 - 800) / 2.0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const std::vector<Page> pages = layOut(c.text, c.file);
        QStringList titles, dates, numbers;
        for (int n = 1; n <= c.pages; ++n) {
            const QString number = QStringLiteral("Page %1").arg(n);
            titles << QStringLiteral("%1 %2,620 %3").arg(n).arg(c.titleX).arg(c.title);
            dates << QStringLiteral("%1 720,3280 %2").arg(n).arg(kDate);
            numbers << QStringLiteral("%1 %2,3280 %3")
                           .arg(n)
                           .arg(4720 - 100 * number.size())
                           .arg(number);
        }
        EXPECT_EQ(runsOf(pages, RunKind::Title), titles);
        EXPECT_EQ(runsOf(pages, RunKind::Date), dates);
        EXPECT_EQ(runsOf(pages, RunKind::PageNumber), numbers);
    }
}

}  // namespace
}  // namespace tarn::editor::test
