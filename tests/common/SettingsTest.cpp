// SPDX-License-Identifier: GPL-3.0-or-later

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>

#include "Settings.h"

namespace {

using namespace tarn;

class SettingsStore : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        setSettingsFolder(folder.path());
    }
    // Every test leaves the store in a folder of its own; main's folder is the
    // fallback for whatever runs next.
    void TearDown() override { setSettingsFolder(saved); }

    // The player's values under the title "Tarn", section Settings.
    static void save(const char* psvKey, const QString& psvValue) {
        SaveSetting("Tarn", kSectionSettings, psvKey, psvValue);
    }
    static QString lastFile(const char* psvApp) {
        return GetSetting(psvApp, kSectionRecentFileList, kKeyLastFile);
    }

    QTemporaryDir folder;
    QString saved = settingsFolder();
};

TEST_F(SettingsStore, TextsAndSinglesReadBackExactly) {
    for (const char* text : {"", "/home/ann/Macros/daily.mcr", "/home/ann/My Macros/a,b;c=d.mcr",
                             "  blanks at both ends  ", "a \"quoted\" word", "#not a comment",
                             ";not a comment either", "@Variant(not a variant)", "[Settings]",
                             "back\\slash and \\n", "two\nlines", "Ünïcode € ✓", "tab\tinside"}) {
        SCOPED_TRACE(text);
        const QString value = QString::fromUtf8(text);
        SaveSetting("tarn", kSectionRecentFileList, kKeyLastFile, value);
        EXPECT_EQ(GetSetting("tarn", kSectionRecentFileList, kKeyLastFile, "x"), value);
    }
    for (float value : {0.0f, -0.0f, 1440.0f, 1234.5f, -7.25f, 0.1f, 1.0f / 3, 3.4e38f, 1.0e-30f,
                        7.0f, 4096.7f}) {
        SCOPED_TRACE(value);
        save(kKeyEditorWidth, numberText(value));
        const float read = readSingle("Tarn", kSectionSettings, kKeyEditorWidth, 99.0f);
        EXPECT_EQ(std::memcmp(&read, &value, sizeof value), 0) << read;
    }
}

// Missing values give the default, and reading writes nothing; each application
// name has an ini file of its own in the Tarn folder, numbers in plain decimals.
TEST_F(SettingsStore, ValuesAreInTheNamedSectionOfOneIniFilePerName) {
    EXPECT_EQ(lastFile("tarn"), "");
    EXPECT_EQ(GetSetting("Tarn", kSectionSettings, "Nothing", "fallback"), "fallback");
    EXPECT_EQ(readSingle("Tarn", kSectionSettings, kKeyLeft, 4200.5f), 4200.5f);
    EXPECT_EQ(readInteger("Tarn", kSectionSettings, kKeyEditorDefaultRunWait, 5), 5);
    EXPECT_FALSE(QFile::exists(settingsFilePath("Tarn")));

    EXPECT_EQ(settingsFilePath("Tarn"), folder.path() + "/Tarn/Tarn.ini");
    SaveSetting("tarn", kSectionRecentFileList, kKeyLastFile, "/a.mcr");
    save(kKeyLeft, numberText(-352.75f));
    save(kKeyTop, numberText(1440.0f));
    save(kKeyEditorWidth, numberText(0.1f));
    EXPECT_TRUE(QFile::exists(folder.path() + "/Tarn/tarn.ini"));
    // A renamed executable finds no last file; the positions stay under the title.
    EXPECT_EQ(lastFile("tarn2"), "");
    EXPECT_EQ(lastFile("Tarn"), "");
    EXPECT_EQ(GetSetting("Tarn", kSectionSettings, kKeyLeft), "-352.75");
    EXPECT_EQ(GetSetting("tarn", kSectionSettings, kKeyLeft, "none"), "none");
    QFile file(folder.path() + "/Tarn/Tarn.ini");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Settings]")) << text.constData();
    for (const char* value : {"=-352.75\n", "=1440\n", "=0.1\n"})
        EXPECT_TRUE(text.contains(value)) << value << " in " << text.constData();
    EXPECT_EQ(numberText(2.5), "2.5");
}

// Also those outside the range asked for.
TEST_F(SettingsStore, UnusableSinglesReadAsTheDefault) {
    const std::pair<const char*, float> stored[] = {
        {"abc", 5.0f},    {"", 5.0f},     {"12abc", 5.0f}, {"nan", 5.0f},     {"inf", 5.0f},
        {"-inf", 5.0f},   {"1e39", 5.0f}, {"1,5", 5.0f},   {" 12.5 ", 12.5f}, {"-300", -300.0f},
        {"1e3", 1000.0f}, {"0x10", 5.0f}, {"\"7\"", 5.0f},
    };
    for (const auto& [text, expected] : stored) {
        save(kKeyLeft, text);
        EXPECT_EQ(readSingle("Tarn", kSectionSettings, kKeyLeft, 5.0f), expected) << text;
    }
    for (const auto& [text, expected] : {std::pair{"-50000", 10.0f}, {"-20000", -20000.0f}}) {
        save(kKeyTop, text);
        EXPECT_EQ(readSingle("Tarn", kSectionSettings, kKeyTop, 10, -20000, 20000), expected);
    }
}

TEST_F(SettingsStore, RunWaitIsRoundedOrTheDefault) {
    const std::pair<const char*, int> stored[] = {
        {"7", 7},       {"0", 0},      {"-3", -3},       {"2.5", 2},         {"3.5", 4},
        {"-2.5", -2},   {"2.6", 3},    {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767},
        {"32767.5", 5}, {"32768", 5},  {"99999", 5},     {"-32769", 5},      {"abc", 5},
        {"", 5},        {"1e3", 1000}, {" 12 ", 12},     {"nan", 5},
    };
    for (const auto& [text, expected] : stored) {
        save(kKeyEditorDefaultRunWait, text);
        EXPECT_EQ(readInteger("Tarn", kSectionSettings, kKeyEditorDefaultRunWait, 5), expected)
            << text;
    }
}

TEST_F(SettingsStore, UnwritableStoreIsReportedOnceAndDoesNotStop) {
    // A regular file where the settings folder should be: nothing can be created
    // under it, whoever runs the test.
    const QString blocker = folder.path() + "/blocker";
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    setSettingsFolder(blocker);

    testing::internal::CaptureStderr();
    save(kKeyLeft, "1");
    save(kKeyTop, "2");
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_NE(errors.find("cannot write the settings file"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "reported more than once: " << errors;
    EXPECT_FALSE(QFileInfo(blocker + "/Tarn").exists());
}

// Without HOME and XDG_CONFIG_HOME the toolkit takes the root folder for the
// home: nothing is made there (a root run made /.config/Tarn), nothing is read
// from it, and the loss is said once.
TEST_F(SettingsStore, WithoutAHomeNothingIsMadeInTheRootFolder) {
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    const bool existed = QFileInfo::exists("/.config"),
               tarnExisted = QFileInfo::exists("/.config/Tarn");
    qunsetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    setSettingsFolder(QString());
    testing::internal::CaptureStderr();
    save(kKeyLeft, "1");
    save(kKeyTop, "2");
    const std::string errors = testing::internal::GetCapturedStderr();
    const QString read = GetSetting("Tarn", kSectionSettings, kKeyLeft, "default");
    const bool made = !tarnExisted && QFileInfo::exists("/.config/Tarn");
    if (made) QDir(existed ? "/.config/Tarn" : "/.config").removeRecursively();
    qputenv("HOME", home);
    if (!config.isNull()) qputenv("XDG_CONFIG_HOME", config);
    EXPECT_FALSE(made);
    EXPECT_EQ(read, "default");
    EXPECT_NE(errors.find("no home folder"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "reported more than once: " << errors;
}

}  // namespace
