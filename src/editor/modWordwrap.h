// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page layout of a printed macro or trace: a centred title, a footer with
// the date and the page number, and the body word-wrapped to the printable
// width with its own tab stops and page breaks. It knows no printer: it is
// given the printable size and a way to measure text, and hands out finished
// pages of positioned runs one at a time, so a long text never has all its
// pages in memory. PrintOut paints these pages on a printer or a PDF.
//
// All positions are in twips (1440 to the inch) from the top-left corner of
// the printable area; a run's position is the top-left corner of its text.

#include <QString>
#include <functional>
#include <vector>

namespace tarn::editor {

namespace wordwrap {
inline constexpr double kLeftMargin = 720;   // body lines and the date start here
inline constexpr double kRightMargin = 720;  // words and the page number end here
inline constexpr double kBodyTop = 1440;     // first body line of every page
inline constexpr double kTitleBand = 1440;   // the title is centred in this band
inline constexpr double kFooterRise = 720;   // footer line: printable height minus this
inline constexpr double kBodyRise = 1440;    // body bottom limit: printable height minus this
inline constexpr int kTabStopZeros = 10;     // tab stops every ten widths of "0"
}  // namespace wordwrap

// The printable area of the page, in twips.
struct PageSize {
    double width = 0;
    double height = 0;
};

// How text measures in the job's font on the job's device, in twips. The line
// height is how far a line break moves down, and the height of any one-line text.
struct TextMeasure {
    std::function<double(const QString&)> width;
    double lineHeight = 0;
};

enum class RunKind { Title, Date, PageNumber, Body };

struct TextRun {
    RunKind kind = RunKind::Body;
    double x = 0;
    double y = 0;
    QString text;
};

struct Page {
    int number = 0;  // 1 for the first page
    std::vector<TextRun> runs;
};

// Receives each page once it is complete; the page is only valid during the call.
using PageSink = std::function<void(const Page&)>;

class modWordwrap {
  public:
    // psvDate is what the footer shows (see todaysShortDate()).
    modWordwrap(PageSize pPage, TextMeasure pMeasure, QString psvDate, PageSink pSink);

    // Lays out the whole text from the first page on; psvFile is the title
    // (its full path), empty for an untitled text. Every page, the last one
    // included, has gone to the sink when this returns.
    void PrintWrapped(const QString& psvText, const QString& psvFile);

  private:
    void PrintPageHeader(bool pbNewPage);
    void printAt(RunKind kind, const QString& text);
    // A line break, then a new page if the next line would begin below the body.
    void nextLine();
    void moveToNextTabStop();

    PageSize mPage;
    TextMeasure mMeasure;
    QString msvDate;
    PageSink mSink;

    QString msvPrintFile;
    Page mCurrent;
    double mX = 0;
    double mY = 0;
};

// Today's date in the user's short date format.
QString todaysShortDate();

}  // namespace tarn::editor
