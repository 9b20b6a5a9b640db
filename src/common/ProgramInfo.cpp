#include "ProgramInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

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
