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
        {"/home/ann/.profile", "/home/ann/.profile/", "/home/ann", ".profile", ""},
        {"/home/ann/my.dir/run", "/home/ann/my.dir/run/", "/home/ann/my.dir", "run", "run"},
        {"/home/ann/my.dir/", "/home/ann/my.dir/", "/home/ann/my.dir", "/home/ann/my.dir/",
         "/home/ann/my"},
        // A ":" is part of the name, never a drive.
        {"C:", "C:/", "", "C:", "C:"},
        {"C:/a.mcr", "C:/a.mcr/", "C:", "a.mcr", "a"},
        {"/mnt/c:d/x:y.mcr", "/mnt/c:d/x:y.mcr/", "/mnt/c:d", "x:y.mcr", "x:y"},
        {"//server//share", "//server//share/", "//server/", "share", "share"},
        {"/home/ann/Ünïcode €.mcr", "/home/ann/Ünïcode €.mcr/", "/home/ann", "Ünïcode €.mcr",
         "Ünïcode €"},
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
    const std::pair<const char*, const char*> cases[] = {
        {"\"/home/ann/my macros/a.mcr\"", "/home/ann/my macros/a.mcr"},
        {"\"/home/ann/a.mcr", "/home/ann/a.mcr"},
        {"/home/ann/a.mcr\"", "/home/ann/a.mcr"},
        {"\"\"", ""},
        {"\"", ""},
        {"", ""},
        {"\"\"a\"\"", "\"a\""},
        {" \"a\" ", " \"a\" "},
        {"a\"b", "a\"b"}};
    for (const auto& [text, stripped] : cases)
        EXPECT_EQ(tarn::StripQuotes(text), stripped) << text;
}

TEST(ExpandHome, OnlyALeadingTildeSlashIsTheHomeFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"~/a.mcr", "/home/ann/a.mcr"}, {"~", "/home/ann"},     {"~/", "/home/ann/"},
        {"~ann/a.mcr", "~ann/a.mcr"},   {"a/~/b", "a/~/b"},     {" ~/a", " ~/a"},
        {"/tmp/~x", "/tmp/~x"},         {"\"~/a\"", "\"~/a\""},
    };
    for (const auto& [typed, path] : cases)
        EXPECT_EQ(tarn::ExpandHome(typed, "/home/ann"), path) << typed;
    EXPECT_EQ(tarn::ExpandHome("~/a", "/"), "/a");
}

}  // namespace
