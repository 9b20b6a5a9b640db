// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tarn {

namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

// Whether the failure to write to the store in use has been reported.
bool& unwritableReported() {
    static bool reported = false;
    return reported;
}

// Every failure to write is the same problem (a read-only or full home folder);
// saying it once is enough, and the program goes on without the value.
void reportUnwritable(const QString& psvFile) {
    if (unwritableReported()) return;
    unwritableReported() = true;
    std::fprintf(stderr,
                 "Tarn: cannot write the settings file %s; changed settings are not kept.\n",
                 qUtf8Printable(psvFile));
}

QString keyPath(const QString& psvSection, const QString& psvKey) {
    return psvSection + QLatin1Char('/') + psvKey;
}

template <class Number>
QString shortestText(Number value) {
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

}  // namespace

QString userFolder(QStandardPaths::StandardLocation location, const char* variable) {
    // With neither the XDG variable nor HOME, Qt takes the root folder for the
    // home and would make /.config/Tarn there, even as another user's file.
    const char* given = std::getenv(variable);
    const char* home = std::getenv("HOME");
    if ((!given || *given != '/') && (!home || !*home)) return QString();
    return QStandardPaths::writableLocation(location);
}

QString settingsFolder() {
    const QString& folder = folderOverride();
    return folder.isEmpty() ? userFolder(QStandardPaths::GenericConfigLocation, "XDG_CONFIG_HOME")
                            : folder;
}

QString settingsFilePath(const QString& psvAppName) {
    if (settingsFolder().isEmpty()) return QString();
    return settingsFolder() + QStringLiteral("/Tarn/") + psvAppName + QStringLiteral(".ini");
}

void setSettingsFolder(const QString& psvFolder) {
    folderOverride() = psvFolder;
    // Another store is another chance to fail, and to say so.
    unwritableReported() = false;
}

QString GetSetting(const QString& psvAppName, const QString& psvSection, const QString& psvKey,
                   const QString& psvDefault) {
    if (settingsFilePath(psvAppName).isEmpty()) return psvDefault;
    QSettings store(settingsFilePath(psvAppName), QSettings::IniFormat);
    const QVariant value = store.value(keyPath(psvSection, psvKey));
    if (!value.isValid()) return psvDefault;
    // A hand-edited value with unquoted commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SaveSetting(const QString& psvAppName, const QString& psvSection, const QString& psvKey,
                 const QString& psvSetting) {
    if (settingsFilePath(psvAppName).isEmpty()) {
        if (!unwritableReported())
            std::fputs("Tarn: no home folder (HOME is unset); changed settings are not kept.\n",
                       stderr);
        unwritableReported() = true;
        return;
    }
    QSettings store(settingsFilePath(psvAppName), QSettings::IniFormat);
    store.setValue(keyPath(psvSection, psvKey), psvSetting);
    store.sync();
    if (store.status() != QSettings::NoError) reportUnwritable(store.fileName());
}

float readSingle(const QString& psvAppName, const QString& psvSection, const QString& psvKey,
                 float pfDefault, float pfLowest, float pfHighest) {
    const QString text = GetSetting(psvAppName, psvSection, psvKey);
    bool ok = false;
    const float value = text.trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(value) || value < pfLowest || value > pfHighest) return pfDefault;
    return value;
}

std::int16_t readInteger(const QString& psvAppName, const QString& psvSection,
                         const QString& psvKey, std::int16_t piDefault) {
    const QString text = GetSetting(psvAppName, psvSection, psvKey);
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return piDefault;
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return piDefault;
    return static_cast<std::int16_t>(rounded);
}

QString numberText(float pfValue) {
    return shortestText(pfValue);
}
QString numberText(double pfValue) {
    return shortestText(pfValue);
}

}  // namespace tarn
