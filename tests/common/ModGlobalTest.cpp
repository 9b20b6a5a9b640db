// SPDX-License-Identifier: GPL-3.0-or-later
// The path routines on Linux paths: "/" separates, ":" is an ordinary character.

#include <gtest/gtest.h>

#include "modGlobal.h"

namespace {

TEST(PathRoutines, GiveTheFolderAndNameParts) {
    const struct {
        const char *path, *addBackslash, *getPath, *fileNameOnly, *baseName;
    } cases[] = {
        {"/home/ann/Macros/a.mcr", "/home/ann/Macros/a.mcr/", "/home/ann/Macros", "a.mcr", "a"},
        {"/home/ann/Macros/", "/home/ann/Macros/", "/home/ann/Macros", "/home/ann/Macros/",
         "/home/ann/Macros/"},
        {"/", "/", "", "", "/"},
        {"", "/", "", "", ""},
        {"a.mcr", "a.mcr/", "", "a.mcr", "a"},
        {"notes", "notes/", "", "notes", "notes"},
        {"/x.mcr", "/x.mcr/", "", "x.mcr", "x"},
        {"Macros/", "Macros/", "Macros", "", "Macros/"},
        {"Macros/a.b.c.mcr", "Macros/a.b.c.mcr/", "Macros", "a.b.c.mcr", "a"},
        {"/usr/bin/notepad.exe", "/usr/bin/notepad.exe/", "/usr/bin", "notepad.exe", "notepad"},
        {"/home/ann/.profile", "/home/ann/.profile/", "/home/ann", ".profile", ""},
        {"/home/ann/my.dir/run", "/home/ann/my.dir/run/", "/home/ann/my.dir", "run", "run"},
        {"/home/ann/my.dir/", "/home/ann/my.dir/", "/home/ann/my.dir", "/home/ann/my.dir/",
         "/home/ann/my"},
        // A ":" is part of the name, never a drive.
        {"C:", "C:/", "", "C:", "C:"},
        {"C:/a.mcr", "C:/a.mcr/", "C:", "a.mcr", "a"},
        {"/mnt/c:d/x:y.mcr", "/mnt/c:d/x:y.mcr/", "/mnt/c:d", "x:y.mcr", "x:y"},
        {"report:2024.txt", "report:2024.txt/", "", "report:2024.txt", "report:2024"},
        {"//server//share", "//server//share/", "//server/", "share", "share"},
        {"/home/ann/Ünïcode €.mcr", "/home/ann/Ünïcode €.mcr/", "/home/ann", "Ünïcode €.mcr",
         "Ünïcode €"},
        {"/my macros/first one.mcr", "/my macros/first one.mcr/", "/my macros", "first one.mcr",
         "first one"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(tarn::AddBackslash(c.path), c.addBackslash);
        EXPECT_EQ(tarn::GetPath(c.path), c.getPath);
        EXPECT_EQ(tarn::FileNameOnly(c.path), c.fileNameOnly);
        EXPECT_EQ(tarn::BaseName(c.path), c.baseName);
    }
}

TEST(StripQuotes, RemovesOneQuoteAtEachEnd) {
    const struct {
        const char* text;
        const char* stripped;
    } cases[] = {{"\"/home/ann/my macros/a.mcr\"", "/home/ann/my macros/a.mcr"},
                 {"\"/home/ann/a.mcr", "/home/ann/a.mcr"},
                 {"/home/ann/a.mcr\"", "/home/ann/a.mcr"},
                 {"\"\"", ""},
                 {"\"", ""},
                 {"", ""},
                 {"\"\"a\"\"", "\"a\""},
                 {" \"a\" ", " \"a\" "},
                 {"a\"b", "a\"b"}};
    for (const auto& c : cases)
        EXPECT_EQ(tarn::StripQuotes(c.text), c.stripped) << c.text;
}

TEST(ExpandHome, OnlyALeadingTildeSlashIsTheHomeFolder) {
    const struct {
        const char* typed;
        const char* path;
    } cases[] = {
        {"~/a.mcr", "/home/ann/a.mcr"}, {"~", "/home/ann"},     {"~/", "/home/ann/"},
        {"~ann/a.mcr", "~ann/a.mcr"},   {"a/~/b", "a/~/b"},     {" ~/a", " ~/a"},
        {"/tmp/~x", "/tmp/~x"},         {"\"~/a\"", "\"~/a\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tarn::ExpandHome(c.typed, "/home/ann"), c.path) << c.typed;
    EXPECT_EQ(tarn::ExpandHome("~/a", "/"), "/a");
}

}  // namespace
