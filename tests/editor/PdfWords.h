// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The words of a PDF with their boxes, as poppler's `pdftotext -bbox` reads
// them back: positions in points from the top-left corner of each page.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTextDocumentFragment>
#include <vector>

namespace tarn::editor::testing {

struct PdfWord {
    int page = 0;  // 1 for the first page
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    QString text;
};

struct PdfText {
    bool ok = false;
    QString error;
    int pages = 0;
    std::vector<PdfWord> words;
};

inline PdfText readPdfWords(const QString& pdf) {
    PdfText result;
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-bbox", pdf, "-"});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0) {
        pdftotext.kill();
        pdftotext.waitForFinished(5000);
        result.error =
            "pdftotext failed: " + QString::fromLocal8Bit(pdftotext.readAllStandardError());
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
        result.words.push_back(
            PdfWord{result.pages, m.captured(1).toDouble(), m.captured(2).toDouble(),
                    m.captured(3).toDouble(), m.captured(4).toDouble(),
                    QTextDocumentFragment::fromHtml(m.captured(5)).toPlainText()});
    }
    result.ok = true;
    return result;
}

}  // namespace tarn::editor::testing
