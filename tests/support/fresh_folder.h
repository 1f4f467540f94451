// A folder of a test's own for the files it writes and reads back: made afresh
// (mkdtemp) under GoogleTest's temporary folder, so that no two runs, or two tests
// at once, ever share a file. Header only.
#ifndef TOBRISK_TESTS_FRESH_FOLDER_H
#define TOBRISK_TESTS_FRESH_FOLDER_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

// The path of a new, empty folder; name says whose it is.
inline std::string FreshFolder(const std::string& name) {
    std::string folder = testing::TempDir() + name + "-XXXXXX";
    EXPECT_NE(mkdtemp(folder.data()), nullptr) << folder;
    return folder;
}

#endif
