// SPDX-License-Identifier: GPL-3.0-or-later
// The page layout with a fixed measure: every character 100 twips wide except
// "." (50), lines 200 twips high, on a printable area of 5440 x 4000 twips. So
// the body runs from x 720 to the wrap limit 4720 (40 characters), and six
// lines (y 1440 to 2440) fit above the body limit 2560.
#include <gtest/gtest.h>

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

QString repeat(char c, int n) {
    return QString(n, QLatin1Char(c));
}

TEST(modWordwrap, BodyRuns) {
    const QString a20 = repeat('a', 20), b20 = repeat('b', 20), b19 = repeat('b', 19);
    const QString w60 = repeat('w', 60);
    struct Case {
        const char* what;
        QString text;
        QStringList body;
    };
    const Case cases[] = {
        {"words and one space", "ab cd", {"1 720,1440 ab", "1 1020,1440 cd"}},
        {"leading spaces move without a test", "  a", {"1 920,1440 a"}},
        {"a word past the limit wraps; its space stays behind",
         a20 + " " + b20,
         {"1 720,1440 " + a20, "1 720,1640 " + b20}},
        {"a word ending on the limit stays",
         a20 + " " + b19,
         {"1 720,1440 " + a20, "1 2820,1440 " + b19}},
        {"line feed", "a\nb", {"1 720,1440 a", "1 720,1640 b"}},
        {"CR LF is one line break", "a\r\nb", {"1 720,1440 a", "1 720,1640 b"}},
        {"a lone CR prints nothing and breaks nothing", "a\rb", {"1 720,1440 a", "1 820,1440 b"}},
        {"other control characters are skipped",
         QString::fromUtf8("a\x01\x1b"
                           "b"),
         {"1 720,1440 a", "1 820,1440 b"}},
        {"empty lines", "a\n\n\nb", {"1 720,1440 a", "1 720,2040 b"}},
        {"tab at the margin", "\tx", {"1 1720,1440 x"}},
        {"second tab", "\t\tx", {"1 2720,1440 x"}},
        {"tab after a word", "a\tx", {"1 720,1440 a", "1 1720,1440 x"}},
        {"a tab rounds the position, 9.5 widths to 10, then moves on",
         "aaaaaaaaa.\tx",
         {"1 720,1440 aaaaaaaaa.", "1 2720,1440 x"}},
        {"a position on a stop moves to the next one",
         "aaaaaaaaaa\tx",
         {"1 720,1440 aaaaaaaaaa", "1 2720,1440 x"}},
        {"an overlong word at the start of a line gets an empty line first",
         w60,
         {"1 720,1640 " + w60}},
        {"an overlong word after a word takes its own line and runs past the margin",
         "x " + w60 + " y",
         {"1 720,1440 x", "1 720,1640 " + w60, "1 720,1840 y"}},
        {"non-ASCII characters are word characters",
         QString::fromUtf8("\xc3\xa9t\xc3\xa9\xc2\xa0x y"),
         {QString::fromUtf8("1 720,1440 \xc3\xa9t\xc3\xa9\xc2\xa0x"), "1 1320,1440 y"}},
        {"the seventh line starts page 2 at the body top",
         "1\n2\n3\n4\n5\n6\n7",
         {"1 720,1440 1", "1 720,1640 2", "1 720,1840 3", "1 720,2040 4", "1 720,2240 5",
          "1 720,2440 6", "2 720,1440 7"}},
        {"a wrap below the limit also starts a page",
         "1\n2\n3\n4\n5\n" + a20 + " " + b20,
         {"1 720,1440 1", "1 720,1640 2", "1 720,1840 3", "1 720,2040 4", "1 720,2240 5",
          "1 720,2440 " + a20, "2 720,1440 " + b20}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bodyOf(layOut(c.text)), c.body) << c.what;
}

TEST(modWordwrap, EveryPageHasTitleDateAndNumber) {
    struct Case {
        QString text;
        QString file;
        QString title;
        double titleX;
        int pages;
    };
    const QString path =
        QStringLiteral("/home/user/macros/demo.mcr");  // 26 characters, one of them "."
    const Case cases[] = {
        {"", "", "Untitled", (5440 - 800) / 2.0, 1},
        {"", path, path, (5440 - 2550) / 2.0, 1},
        {"1\n2\n3\n4\n5\n6\n7", path, path, (5440 - 2550) / 2.0, 2},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13", "", "Untitled", (5440 - 800) / 2.0, 3},
    };
    for (const Case& c : cases) {
        const std::vector<Page> pages = layOut(c.text, c.file);
        ASSERT_EQ(pages.size(), static_cast<size_t>(c.pages)) << c.text.toStdString();
        for (size_t i = 0; i < pages.size(); ++i) {
            const Page& page = pages[i];
            const QString pageText = QStringLiteral("Page %1").arg(i + 1);
            EXPECT_EQ(page.number, static_cast<int>(i + 1));
            ASSERT_GE(page.runs.size(), 3u);
            // Title centred in the top 1440, date and number on the footer line
            // 720 above the bottom, the number ending 720 from the right edge.
            const double pageTextRight = kPage.width - 720;
            const TextRun expected[] = {
                {RunKind::Title, c.titleX, (1440 - 200) / 2.0, c.title},
                {RunKind::Date, 720, kPage.height - 720, kDate},
                {RunKind::PageNumber, pageTextRight - 100 * pageText.size(), kPage.height - 720,
                 pageText},
            };
            for (int r = 0; r < 3; ++r) {
                EXPECT_EQ(page.runs[r].kind, expected[r].kind);
                EXPECT_EQ(page.runs[r].x, expected[r].x) << expected[r].text.toStdString();
                EXPECT_EQ(page.runs[r].y, expected[r].y) << expected[r].text.toStdString();
                EXPECT_EQ(page.runs[r].text, expected[r].text);
            }
        }
    }
}

}  // namespace
}  // namespace tarn::editor
