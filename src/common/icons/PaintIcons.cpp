// SPDX-License-Identifier: GPL-3.0-or-later
// Paints Tarn's icons and writes them as PNG files, <name>-<size>.png, into the
// folder given on the command line. Run at build time: the pictures are code,
// so they need no image editor, no SVG renderer and no icon theme.
//
// Every icon is drawn on a 32 x 32 grid and scaled; strokes are at least 2 grid
// units so that the 16-pixel buttons stay legible.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

const QColor kInk(0x2b, 0x33, 0x3d);
const QColor kPaper(0xfb, 0xfb, 0xf8);
const QColor kBlue(0x2f, 0x6f, 0xb8);
const QColor kGreen(0x2e, 0x9e, 0x4b);
const QColor kRed(0xd0, 0x31, 0x2d);
const QColor kYellow(0xf2, 0xc1, 0x3d);
const QColor kGrey(0x8a, 0x93, 0x9c);

QPen ink(double width = 1.5) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded corner, from (x, y), w by h.
void page(QPainter& p, double x, double y, double w, double h) {
    QPainterPath sheet;
    const double fold = w * 0.3;
    sheet.moveTo(x, y);
    sheet.lineTo(x + w - fold, y);
    sheet.lineTo(x + w, y + fold);
    sheet.lineTo(x + w, y + h);
    sheet.lineTo(x, y + h);
    sheet.closeSubpath();
    p.setPen(ink());
    p.setBrush(kPaper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(x + w - fold, y);
    corner.lineTo(x + w - fold, y + fold);
    corner.lineTo(x + w, y + fold);
    p.setBrush(Qt::NoBrush);
    p.drawPath(corner);
}

void textLines(QPainter& p, double x, double y, double w, int count, double gap = 4) {
    p.setPen(QPen(kGrey, 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(x, y + i * gap), QPointF(x + w * (i % 2 ? 0.7 : 1), y + i * gap));
}

void folder(QPainter& p, bool open) {
    p.setPen(ink());
    p.setBrush(kYellow.darker(115));
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(12, 8);
    back.lineTo(15, 11);
    back.lineTo(28, 11);
    back.lineTo(28, 26);
    back.lineTo(3, 26);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(kYellow);
    if (open) {
        p.drawPolygon(QPolygonF({{7, 15}, {31, 15}, {27, 26}, {3, 26}}));
    } else {
        p.drawRect(QRectF(3, 14, 25, 12));
    }
}

void magnifier(QPainter& p, double cx, double cy, double r) {
    p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx + r * 0.7, cy + r * 0.7), QPointF(cx + r * 1.9, cy + r * 1.9));
    p.setPen(ink(2.2));
    p.setBrush(QColor(0xd8, 0xea, 0xfb));
    p.drawEllipse(QPointF(cx, cy), r, r);
}

void paintProgram(QPainter& p) {
    // A mountain lake: peaks over still water, with the play mark of a player.
    QLinearGradient sky(0, 1, 0, 31);
    sky.setColorAt(0, QColor(0x9c, 0xcb, 0xf2));
    sky.setColorAt(1, QColor(0x3c, 0x7d, 0xc6));
    p.setPen(QPen(QColor(0x1d, 0x4a, 0x7e), 1.2));
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4a, 0x55, 0x63));
    p.drawPolygon(QPolygonF({{2, 21}, {11, 8}, {16, 14}, {21, 6}, {30, 21}}));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{9, 11}, {11, 8}, {13, 10.9}, {11.5, 10.2}}));
    p.drawPolygon(QPolygonF({{18.9, 9.2}, {21, 6}, {23.3, 9.4}, {21.2, 8.6}}));
    QPainterPath water;
    water.addRoundedRect(QRectF(1.6, 20, 28.8, 10.4), 5, 5);
    water.addRect(QRectF(1.6, 20, 28.8, 4));
    p.setBrush(QColor(0x16, 0x5a, 0x8a));
    p.drawPath(water.simplified());
    p.setBrush(QColor(0xf4, 0xf7, 0xfa));
    p.drawPolygon(QPolygonF({{13, 21.6}, {13, 29}, {19.5, 25.3}}));
}

void paintEdit(QPainter& p) {
    page(p, 4, 2, 18, 25);
    textLines(p, 7, 10, 10, 4);
    // A pencil across the page.
    p.save();
    p.translate(21, 20);
    p.rotate(45);
    p.setPen(ink(1.3));
    p.setBrush(kYellow);
    p.drawRect(QRectF(-3, -12, 6, 16));
    p.setBrush(QColor(0xf0, 0xc8, 0xa0));
    p.drawPolygon(QPolygonF({{-3, 4}, {3, 4}, {0, 10}}));
    p.setBrush(kRed);
    p.drawRect(QRectF(-3, -15, 6, 3));
    p.restore();
}

void paintFindMacro(QPainter& p) {
    folder(p, true);
    magnifier(p, 20, 17, 5);
}

void paintViewTrace(QPainter& p) {
    page(p, 3, 2, 19, 27);
    textLines(p, 6, 10, 12, 5);
    magnifier(p, 20, 18, 5.5);
}

void paintHelp(QPainter& p) {
    p.setPen(QPen(kBlue.darker(130), 1.2));
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
    // The question mark, drawn rather than typed so no font is needed.
    QPainterPath hook;
    hook.moveTo(11, 12);
    hook.cubicTo(11, 6.5, 21, 6.5, 21, 12);
    hook.cubicTo(21, 15.5, 16, 15.5, 16, 19.5);
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 24.5), 2.2, 2.2);
}

void paintStart(QPainter& p) {
    p.setPen(QPen(kGreen.darker(140), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{7, 3}, {28, 16}, {7, 29}}));
}

void paintStop(QPainter& p) {
    p.setPen(QPen(kRed.darker(140), 1.5));
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(5, 5, 22, 22), 3, 3);
}

void paintNew(QPainter& p) {
    page(p, 6, 2, 20, 28);
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    QPainterPath star;
    const double cx = 9, cy = 7;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? 2.4 : 6;
        const double a = 3.14159265 / 5 * i - 3.14159265 / 2;
        const QPointF pt(cx + r * std::cos(a), cy + r * std::sin(a));
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.drawPath(star);
}

void paintOpen(QPainter& p) {
    folder(p, true);
}

void paintSave(QPainter& p) {
    p.setPen(ink());
    p.setBrush(kBlue);
    QPainterPath disk;
    disk.moveTo(3, 3);
    disk.lineTo(25, 3);
    disk.lineTo(29, 7);
    disk.lineTo(29, 29);
    disk.lineTo(3, 29);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setBrush(kPaper);
    p.drawRect(QRectF(8, 3, 15, 9));
    p.setBrush(kInk);
    p.drawRect(QRectF(18, 5, 3, 5));
    p.setBrush(kPaper);
    p.drawRect(QRectF(7, 17, 18, 12));
    textLines(p, 10, 21, 12, 2);
}

void paintPrint(QPainter& p) {
    p.setPen(ink());
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 2, 14, 10));
    p.setBrush(kGrey.lighter(130));
    p.drawRoundedRect(QRectF(2, 11, 28, 13), 3, 3);
    p.setBrush(kPaper);
    p.drawRect(QRectF(8, 19, 16, 11));
    textLines(p, 11, 23, 10, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(25.5, 15), 1.6, 1.6);
}

void paintCut(QPainter& p) {
    p.setPen(QPen(kInk, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 3), QPointF(20.5, 20));
    p.drawLine(QPointF(22, 3), QPointF(11.5, 20));
    p.setPen(QPen(kRed, 2.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(9, 24), 4.6, 4.6);
    p.drawEllipse(QPointF(23, 24), 4.6, 4.6);
}

void paintCopy(QPainter& p) {
    page(p, 3, 2, 16, 21);
    page(p, 12, 9, 17, 21);
    textLines(p, 15, 17, 10, 3);
}

void paintPaste(QPainter& p) {
    p.setPen(ink());
    p.setBrush(QColor(0xb5, 0x8a, 0x5a));
    p.drawRoundedRect(QRectF(3, 4, 20, 26), 2, 2);
    p.setBrush(kGrey.lighter(140));
    p.drawRoundedRect(QRectF(8, 2, 10, 5), 1.5, 1.5);
    page(p, 13, 11, 16, 19);
    textLines(p, 16, 19, 9, 3);
}

void paintRecord(QPainter& p) {
    QRadialGradient glow(QPointF(13, 12), 14);
    glow.setColorAt(0, kRed.lighter(140));
    glow.setColorAt(1, kRed);
    p.setPen(QPen(kRed.darker(150), 1.5));
    p.setBrush(glow);
    p.drawEllipse(QPointF(16, 16), 12, 12);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "%s: cannot create %s\n", argv[0], argv[1]);
        return 1;
    }
    const std::vector<std::pair<const char*, std::function<void(QPainter&)>>> icons = {
        {"tarn", paintProgram},
        {"edit", paintEdit},
        {"find-macro", paintFindMacro},
        {"view-trace", paintViewTrace},
        {"help", paintHelp},
        {"start", paintStart},
        {"stop", paintStop},
        {"new", paintNew},
        {"open", paintOpen},
        {"save", paintSave},
        {"print", paintPrint},
        {"cut", paintCut},
        {"copy", paintCopy},
        {"paste", paintPaste},
        {"record", paintRecord},
    };
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    for (const auto& [name, paint] : icons) {
        for (int size : sizes) {
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(size / 32.0, size / 32.0);
            paint(painter);
            painter.end();
            const QString file =
                QStringLiteral("%1/%2-%3.png").arg(folder).arg(QLatin1String(name)).arg(size);
            if (!image.save(file, "PNG")) {
                std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
                return 1;
            }
        }
    }
    return 0;
}
