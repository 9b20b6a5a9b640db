// SPDX-License-Identifier: GPL-3.0-or-later
#include "Icons.h"

#include <QFile>
#include <QString>

namespace tarn {

namespace {

const char* iconName(TarnIcon piIcon) {
    switch (piIcon) {
        case TarnIcon::Program:
            return "tarn";
        case TarnIcon::Edit:
            return "edit";
        case TarnIcon::FindMacro:
            return "find-macro";
        case TarnIcon::ViewTrace:
            return "view-trace";
        case TarnIcon::Help:
            return "help";
        case TarnIcon::Start:
            return "start";
        case TarnIcon::Stop:
            return "stop";
        case TarnIcon::New:
            return "new";
        case TarnIcon::Open:
            return "open";
        case TarnIcon::Save:
            return "save";
        case TarnIcon::Print:
            return "print";
        case TarnIcon::Cut:
            return "cut";
        case TarnIcon::Copy:
            return "copy";
        case TarnIcon::Paste:
            return "paste";
        case TarnIcon::Record:
            return "record";
    }
    return "tarn";
}

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

}  // namespace

QIcon tarnIcon(TarnIcon piIcon) {
    QIcon icon;
    const QString prefix = QStringLiteral(":/icons/") + QLatin1String(iconName(piIcon));
    for (int size : kSizes) {
        const QString file =
            prefix + QLatin1Char('-') + QString::number(size) + QStringLiteral(".png");
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    return icon;
}

}  // namespace tarn
