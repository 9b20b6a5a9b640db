// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace tarn {

QString appTitle() {
    return QStringLiteral("Tarn");
}

QString executableAppName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

bool isSystemFolder(const QString& psvFolder) {
    if (psvFolder.isEmpty()) return false;
    const QString canonical = QFileInfo(psvFolder).canonicalFilePath();
    const QString folder =
        canonical.isEmpty() ? QFileInfo(psvFolder).absoluteFilePath() : canonical;
    static const QStringList prefixes = [] {
        QStringList list{
            QStringLiteral("/usr"),  QStringLiteral("/bin"),   QStringLiteral("/sbin"),
            QStringLiteral("/lib"),  QStringLiteral("/lib64"), QStringLiteral("/opt"),
            QStringLiteral("/snap"), QStringLiteral("/app"),   QStringLiteral("/nix/store")};
        const QString installed =
            QFileInfo(QStringLiteral(TARN_INSTALL_PREFIX)).canonicalFilePath();
        if (!installed.isEmpty() && installed != QStringLiteral("/")) list << installed;
        return list;
    }();
    for (const QString& prefix : prefixes) {
        if (folder == prefix || folder.startsWith(prefix + QLatin1Char('/'))) return true;
    }
    return false;
}

int versionMajor() {
    return TARN_VERSION_MAJOR;
}
int versionMinor() {
    return TARN_VERSION_MINOR;
}
int versionRevision() {
    return TARN_VERSION_PATCH;
}

QString versionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(versionMajor())
        .arg(versionMinor())
        .arg(versionRevision());
}

}  // namespace tarn
