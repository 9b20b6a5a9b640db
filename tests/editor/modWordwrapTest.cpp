// SPDX-License-Identifier: GPL-3.0-or-later
// The page layout with a fixed measure: every character 100 twips wide except
// "." (50), lines 200 twips high, on a printable area of 5440 x 4000 twips. So
// the body runs from x 720 to the wrap limit 4720 (40 characters), and six
// lines (y 1440 to 2440) fit above the body limit 2560.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>
#include <vector>

#include "modWordwrap.h"

namespace tarn::editor {
namespace {

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

// The body runs as "page x,y text".
QStringList bodyOf(const std::vector<Page>& pages) {
    QStringList runs;
    for (const Page& page : pages)
        for (const TextRun& run : page.runs)
            if (run.kind == RunKind::Body)
                runs << QStringLiteral("%1 %2,%3 %4")
                            .arg(page.number)
                            .arg(run.x)
                            .arg(run.y)
                            .arg(run.text);
    return runs;
}

// Body runs as "page x,y text", apart by "|"; a, b and w stand for runs of
// 20, 19 and 60 of these letters.
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
        EXPECT_EQ(bodyOf(layOut(expand(text))).join('|'), expand(body)) << text;
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
        const std::vector<Page> pages = layOut(c.text, c.file);
        ASSERT_EQ(pages.size(), static_cast<size_t>(c.pages)) << c.text.toStdString();
        for (int n = 1; n <= c.pages; ++n) {
            const Page& page = pages[n - 1];
            const QString number = QStringLiteral("Page %1").arg(n);
            EXPECT_EQ(page.number, n);
            ASSERT_GE(page.runs.size(), 3u);
            const TextRun expected[] = {
                {RunKind::Title, c.titleX, (1440 - 200) / 2.0, c.title},
                {RunKind::Date, 720, 4000 - 720, kDate},
                {RunKind::PageNumber, 5440 - 720 - 100.0 * number.size(), 4000 - 720, number},
            };
            for (int r = 0; r < 3; ++r) {
                SCOPED_TRACE(expected[r].text.toStdString());
                EXPECT_EQ(page.runs[r].kind, expected[r].kind);
                EXPECT_EQ(page.runs[r].x, expected[r].x);
                EXPECT_EQ(page.runs[r].y, expected[r].y);
                EXPECT_EQ(page.runs[r].text, expected[r].text);
            }
        }
    }
}

}  // namespace
}  // namespace tarn::editor
