// What the exe cannot show: the key it writes always has its parents on Windows.

#include "registry/registry.h"

#include <gtest/gtest.h>

#include "registry_helpers.h"

namespace {

TEST(Registry, WritingCreatesEveryMissingKeyOnThePath) {
    const std::wstring scratch = L"SOFTWARE\\BrasseltTests", path = scratch + L"\\a\\b\\c";
    testreg::DeleteTree(scratch);
    EXPECT_EQ(registry::WriteStringValue(HKEY_LOCAL_MACHINE, path, L"", L"x", KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(testreg::Get(path), testreg::Sz(std::wstring(L"x\0", 2)));
    testreg::DeleteTree(scratch);
}

}  // namespace
