// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store in a temporary folder: texts and numbers read back as
// written, defaults for missing and unusable values, one file per application
// name, and a store that cannot be written.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>

#include "Settings.h"

namespace {

class SettingsStore : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        tarn::setSettingsFolder(folder.path());
    }
    // Every test leaves the store in a folder of its own; main's folder is the
    // fallback for whatever runs next.
    void TearDown() override { tarn::setSettingsFolder(saved); }

    QTemporaryDir folder;
    QString saved = tarn::settingsFolder();
};

const char* const kTexts[] = {"",
                              "/home/ann/Macros/daily.mcr",
                              "/home/ann/My Macros/a,b;c=d.mcr",
                              "  blanks at both ends  ",
                              "a \"quoted\" word",
                              "#not a comment",
                              ";not a comment either",
                              "@Variant(not a variant)",
                              "[Settings]",
                              "back\\slash and \\n",
                              "two\nlines",
                              "Ünïcode € ✓",
                              "tab\tinside"};

const float kSingles[] = {0.0f,     -0.0f,   1440.0f,  1234.5f, -7.25f, 0.1f,
                          1.0f / 3, 3.4e38f, 1.0e-30f, 7.0f,    4096.7f};

TEST_F(SettingsStore, TextsAndSinglesReadBackExactly) {
    for (const char* text : kTexts) {
        SCOPED_TRACE(text);
        const QString value = QString::fromUtf8(text);
        tarn::SaveSetting("tarn", tarn::kSectionRecentFileList, tarn::kKeyLastFile, value);
        EXPECT_EQ(tarn::GetSetting("tarn", tarn::kSectionRecentFileList, tarn::kKeyLastFile, "x"),
                  value);
    }
    for (float value : kSingles) {
        SCOPED_TRACE(value);
        tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyEditorWidth,
                          tarn::numberText(value));
        const float read =
            tarn::readSingle("Tarn", tarn::kSectionSettings, tarn::kKeyEditorWidth, 99.0f);
        EXPECT_EQ(std::memcmp(&read, &value, sizeof value), 0) << read;
    }
}

// Missing values give the default, and reading writes nothing; each application
// name has an ini file of its own in the Tarn folder, numbers in plain decimals.
TEST_F(SettingsStore, ValuesAreInTheNamedSectionOfOneIniFilePerName) {
    EXPECT_EQ(tarn::GetSetting("tarn", tarn::kSectionRecentFileList, tarn::kKeyLastFile), "");
    EXPECT_EQ(tarn::GetSetting("Tarn", tarn::kSectionSettings, "Nothing", "fallback"), "fallback");
    EXPECT_EQ(tarn::readSingle("Tarn", tarn::kSectionSettings, tarn::kKeyLeft, 4200.5f), 4200.5f);
    EXPECT_EQ(tarn::readInteger("Tarn", tarn::kSectionSettings, tarn::kKeyEditorDefaultRunWait, 5),
              5);
    EXPECT_FALSE(QFile::exists(tarn::settingsFilePath("Tarn")));

    EXPECT_EQ(tarn::settingsFilePath("Tarn"), folder.path() + "/Tarn/Tarn.ini");
    tarn::SaveSetting("tarn", tarn::kSectionRecentFileList, tarn::kKeyLastFile, "/a.mcr");
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyLeft, tarn::numberText(-352.75f));
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyTop, tarn::numberText(1440.0f));
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyEditorWidth,
                      tarn::numberText(0.1f));
    EXPECT_TRUE(QFile::exists(folder.path() + "/Tarn/tarn.ini"));
    // A renamed executable finds no last file; the positions stay under the title.
    EXPECT_EQ(tarn::GetSetting("tarn2", tarn::kSectionRecentFileList, tarn::kKeyLastFile), "");
    EXPECT_EQ(tarn::GetSetting("Tarn", tarn::kSectionRecentFileList, tarn::kKeyLastFile), "");
    EXPECT_EQ(tarn::GetSetting("Tarn", tarn::kSectionSettings, tarn::kKeyLeft), "-352.75");
    EXPECT_EQ(tarn::GetSetting("tarn", tarn::kSectionSettings, tarn::kKeyLeft, "none"), "none");
    QFile file(folder.path() + "/Tarn/Tarn.ini");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Settings]")) << text.constData();
    for (const char* value : {"=-352.75\n", "=1440\n", "=0.1\n"})
        EXPECT_TRUE(text.contains(value)) << value << " in " << text.constData();
    EXPECT_EQ(tarn::numberText(2.5), "2.5");
}

struct SingleCase {
    const char* stored;
    float expected;  // with 5 as the default
};

const SingleCase kStoredSingles[] = {
    {"abc", 5.0f},    {"", 5.0f},     {"12abc", 5.0f}, {"nan", 5.0f},     {"inf", 5.0f},
    {"-inf", 5.0f},   {"1e39", 5.0f}, {"1,5", 5.0f},   {" 12.5 ", 12.5f}, {"-300", -300.0f},
    {"1e3", 1000.0f}, {"0x10", 5.0f}, {"\"7\"", 5.0f},
};

// Also those outside the range asked for.
TEST_F(SettingsStore, UnusableSinglesReadAsTheDefault) {
    for (const SingleCase& c : kStoredSingles) {
        SCOPED_TRACE(c.stored);
        tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyLeft, c.stored);
        EXPECT_EQ(tarn::readSingle("Tarn", tarn::kSectionSettings, tarn::kKeyLeft, 5.0f),
                  c.expected);
    }
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyTop, "-50000");
    EXPECT_EQ(tarn::readSingle("Tarn", tarn::kSectionSettings, tarn::kKeyTop, 10, -20000, 20000),
              10.0f);
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyTop, "-20000");
    EXPECT_EQ(tarn::readSingle("Tarn", tarn::kSectionSettings, tarn::kKeyTop, 10, -20000, 20000),
              -20000.0f);
}

struct IntegerCase {
    const char* stored;
    int expected;  // with 5 as the default
};

const IntegerCase kStoredIntegers[] = {
    {"7", 7},       {"0", 0},      {"-3", -3},       {"2.5", 2},         {"3.5", 4},
    {"-2.5", -2},   {"2.6", 3},    {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767},
    {"32767.5", 5}, {"32768", 5},  {"99999", 5},     {"-32769", 5},      {"abc", 5},
    {"", 5},        {"1e3", 1000}, {" 12 ", 12},     {"nan", 5},
};

TEST_F(SettingsStore, RunWaitIsRoundedOrTheDefault) {
    for (const IntegerCase& c : kStoredIntegers) {
        SCOPED_TRACE(c.stored);
        tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyEditorDefaultRunWait, c.stored);
        EXPECT_EQ(
            tarn::readInteger("Tarn", tarn::kSectionSettings, tarn::kKeyEditorDefaultRunWait, 5),
            c.expected);
    }
}

TEST_F(SettingsStore, UnwritableStoreIsReportedOnceAndDoesNotStop) {
    // A regular file where the settings folder should be: nothing can be created
    // under it, whoever runs the test.
    const QString blocker = folder.path() + "/blocker";
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    tarn::setSettingsFolder(blocker);

    testing::internal::CaptureStderr();
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyLeft, "1");
    tarn::SaveSetting("Tarn", tarn::kSectionSettings, tarn::kKeyTop, "2");
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_NE(errors.find("cannot write the settings file"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "reported more than once: " << errors;
    EXPECT_FALSE(QFileInfo(blocker + "/Tarn").exists());
}

}  // namespace
