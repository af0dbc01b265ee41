// The public conformance files that sit beside a clone.
//
// Tests run from the project root and find them at ../shared/testdata. A
// fresh clone has no such folder: a test that reads it starts with
// SKIP_WITHOUT_SHARED_TESTDATA(), which skips it with one line naming the
// folder. A file missing inside a folder that is there is still a failure.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace brelvix {

// The path of `inside` in the shared folder (the folder itself when empty).
std::string SharedTestdata(const std::string& inside = "");

// Whether the shared folder is there.
bool SharedTestdataPresent();

// The line a skipped test gives: the folder's absolute path, and that it is missing.
std::string SharedTestdataMissing();

}  // namespace brelvix

#define SKIP_WITHOUT_SHARED_TESTDATA()                          \
    do {                                                        \
        if (!::brelvix::SharedTestdataPresent()) {              \
            GTEST_SKIP() << ::brelvix::SharedTestdataMissing(); \
        }                                                       \
    } while (false)
