// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageBoxes.h"

#include <QMessageBox>

namespace tarn {

namespace {

constexpr QChar kZeroWidthSpace(0x200B);

}  // namespace

QString breakableText(const QString& psvText) {
    QString result;
    result.reserve(psvText.size() * 2);
    qsizetype start = 0;
    while (start < psvText.size()) {
        qsizetype end = start;
        while (end < psvText.size() && !psvText.at(end).isSpace())
            ++end;
        const QStringView run = QStringView(psvText).mid(start, end - start);
        if (run.size() < kLongRunCharacters) {
            result += run;
        } else {
            for (qsizetype i = 0; i < run.size(); ++i) {
                const QChar c = run.at(i);
                if (i > 0 && !c.isLowSurrogate() && !c.isMark()) result += kZeroWidthSpace;
                result += c;
            }
        }
        // The blanks up to the next run, as they are.
        start = end;
        while (start < psvText.size() && psvText.at(start).isSpace())
            result += psvText.at(start++);
    }
    return result;
}

bool askYesNo(QWidget* poOwner, const QString& psvTitle, const QString& psvText) {
    QMessageBox box(
        QMessageBox::Question, psvTitle,
        breakableText(QString(psvText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))),
        QMessageBox::Yes | QMessageBox::No, poOwner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace tarn
