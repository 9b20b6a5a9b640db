// SPDX-License-Identifier: GPL-3.0-or-later
#include "modWordwrap.h"

#include <QDate>
#include <QLocale>
#include <cmath>
#include <utility>

namespace tarn::editor {

using namespace wordwrap;

namespace {

constexpr char16_t kSpace = 32;
constexpr char16_t kTab = 9;
constexpr char16_t kLineFeed = 10;

}  // namespace

modWordwrap::modWordwrap(PageSize pPage, TextMeasure pMeasure, QString psvDate, PageSink pSink)
    : mPage(pPage),
      mMeasure(std::move(pMeasure)),
      msvDate(std::move(psvDate)),
      mSink(std::move(pSink)) {}

void modWordwrap::PrintWrapped(const QString& psvText, const QString& psvFile) {
    msvPrintFile = psvFile;
    mCurrent = Page{};
    PrintPageHeader(false);

    const double wrapLimit = mPage.width - kRightMargin;
    const double spaceWidth = mMeasure.width(QStringLiteral(" "));
    const qsizetype end = psvText.size();
    qsizetype p = 0;
    while (p < end) {
        // A word is every character above the space; it is never split.
        const qsizetype start = p;
        while (p < end && psvText.at(p).unicode() > kSpace)
            ++p;
        const QString word = psvText.mid(start, p - start);
        const double width = word.isEmpty() ? 0 : mMeasure.width(word);
        // Only a word is tested against the margin, so the spaces before a
        // wrapped word stay at the end of the line they followed, and a word
        // wider than the body still gets a line (running past the margin).
        if (mX + width > wrapLimit) nextLine();
        if (!word.isEmpty()) printAt(RunKind::Body, word);
        mX += width;

        for (; p < end && psvText.at(p).unicode() <= kSpace; ++p) {
            switch (psvText.at(p).unicode()) {
                case kSpace:
                    mX += spaceWidth;
                    break;
                case kLineFeed:
                    nextLine();
                    break;
                case kTab:
                    moveToNextTabStop();
                    break;
                default:
                    // A carriage return and every other control character print
                    // nothing: CR LF is one line break, a lone CR none.
                    break;
            }
        }
    }
    mSink(mCurrent);
    mCurrent.runs.clear();
}

void modWordwrap::PrintPageHeader(bool pbNewPage) {
    const QString title = msvPrintFile.isEmpty() ? QStringLiteral("Untitled") : msvPrintFile;
    if (pbNewPage) {
        mSink(mCurrent);
        // The page's buffer is reused, so memory stays that of one page.
        mCurrent.runs.clear();
        ++mCurrent.number;
    } else {
        mCurrent.number = 1;
    }
    mY = (kTitleBand - mMeasure.lineHeight) / 2;
    mX = (mPage.width - mMeasure.width(title)) / 2;
    printAt(RunKind::Title, title);

    mX = kLeftMargin;
    mY = mPage.height - kFooterRise;
    printAt(RunKind::Date, msvDate);

    const QString pageText = QStringLiteral("Page ") + QString::number(mCurrent.number);
    mX = mPage.width - (mMeasure.width(pageText) + kRightMargin);
    printAt(RunKind::PageNumber, pageText);

    mX = kLeftMargin;
    mY = kBodyTop;
}

void modWordwrap::printAt(RunKind kind, const QString& text) {
    mCurrent.runs.push_back(TextRun{kind, mX, mY, text});
}

void modWordwrap::nextLine() {
    mX = 0;
    mY += mMeasure.lineHeight;
    if (mY > mPage.height - kBodyRise)
        PrintPageHeader(true);
    else
        mX = kLeftMargin;
}

void modWordwrap::moveToNextTabStop() {
    const double zero = mMeasure.width(QStringLiteral("0"));
    if (zero <= 0) return;
    // The nearest whole number of "0" widths (halves to even), then the next
    // multiple of ten above it: a position already on a stop moves on.
    auto n = static_cast<long long>(std::nearbyint((mX - kLeftMargin) / zero));
    n = n + kTabStopZeros - (n % kTabStopZeros);
    mX = kLeftMargin + static_cast<double>(n) * zero;
}

QString todaysShortDate() {
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

}  // namespace tarn::editor
