// SPDX-License-Identifier: GPL-3.0-or-later
// What `tarn --help` lists is what the manual page and the help pages explain:
// an option added to the program without its documentation fails here.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QString>

#include "CommandLine.h"

namespace tarn {
namespace {

QString readText(const QString& psvPath) {
    QFile file(psvPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(Documentation, EveryOptionOfTheUsageIsInTheManualAndTheHelp) {
    // roff writes a minus sign as "\-".
    const QString manual =
        readText(QStringLiteral(TARN_SOURCE_DIR "/share/man/tarn.1")).replace("\\-", "-");
    const QString help = readText(QStringLiteral(":/help/automatic.html"));
    ASSERT_FALSE(manual.isEmpty());
    ASSERT_FALSE(help.isEmpty());
    const QRegularExpression option(QStringLiteral("^\\s+(-\\w|--\\w+)(, (--\\w+))?"),
                                    QRegularExpression::MultilineOption);
    int options = 0;
    for (const auto& match : option.globalMatch(QString::fromUtf8(usageText()))) {
        for (int group : {1, 3}) {
            const QString name = match.captured(group);
            if (name.isEmpty()) continue;
            ++options;
            const QRegularExpression whole("(^|[^-\\w])" + QRegularExpression::escape(name) +
                                           "\\b");
            EXPECT_TRUE(manual.contains(whole)) << name.toStdString() << " in tarn.1";
            EXPECT_TRUE(help.contains(whole)) << name.toStdString() << " in automatic.html";
        }
    }
    EXPECT_GE(options, 3);  // -h, --help, --version
}

}  // namespace
}  // namespace tarn
