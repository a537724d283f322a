#include "registry/registry.h"

#include <gtest/gtest.h>

#include "registry_helpers.h"

namespace {

using registry::ReadStringValue;
using registry::WriteStringValue;
using testreg::Sz;

const std::wstring kMarker = L"@SYS:DoesNotExist";
const std::wstring kNul(1, L'\0');

// Each test works on a scratch key of its own under HKLM (CTest runs them in parallel),
// cleared before it starts.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ = L"SOFTWARE\\BrasseltTests\\" + std::wstring(name.begin(), name.end());
        BOOL wow64 = FALSE;
        ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
            << "the tests must run as a 32-bit process on 64-bit Windows";
        testreg::DeleteTree(path_);
        testreg::DeleteTree(path_, KEY_WOW64_32KEY);
    }
    void TearDown() override {
        testreg::DeleteTree(path_);
        testreg::DeleteTree(path_, KEY_WOW64_32KEY);
    }

    std::optional<std::wstring> Read() { return ReadStringValue(HKEY_LOCAL_MACHINE, path_, L""); }
    LONG Write(const std::wstring& data) {
        return WriteStringValue(HKEY_LOCAL_MACHINE, path_, L"", data);
    }

    std::wstring path_;
};

TEST_F(RegistryTest, ReadsTheDataAsTextUpToItsFirstNul) {
    EXPECT_EQ(Read(), std::nullopt) << "missing key";

    struct Case {
        const char* what;
        testreg::Value stored;
        std::optional<std::wstring> expected;
    };
    const Case cases[] = {
        {"empty string", Sz(kNul), L""},
        {"marker, then what a longer value left", Sz(kMarker + kNul + L"left"), kMarker},
        {"embedded NUL", Sz(std::wstring(L"ab\0cd", 5)), L"ab"},
        {"no NUL", Sz(L"no terminator"), L"no terminator"},
        {"a number", testreg::Raw(REG_DWORD, {'A', 'B', 'C', 0}), L"ABC"},
        {"first NUL past 32,767", Sz(std::wstring(40000, L'x') + kNul + L"tail"),
         std::wstring(40000, L'x')},
        {"100,000 bytes, no NUL", testreg::Raw(REG_BINARY, std::vector<BYTE>(100000, 'A')),
         std::wstring(100000, L'A')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testreg::Set(path_, c.stored);
        EXPECT_EQ(Read(), c.expected);
    }
    testreg::DeleteTree(path_);
    testreg::Set(path_ + L"\\child", Sz(L"x"));
    EXPECT_EQ(Read(), std::nullopt) << "key without a value";
}

TEST_F(RegistryTest, WritesAStringWithItsNulOverAnyValue) {
    const std::wstring deep = path_ + L"\\a\\b\\Autorun.inf";
    ASSERT_EQ(WriteStringValue(HKEY_LOCAL_MACHINE, deep, L"", kMarker), ERROR_SUCCESS);
    EXPECT_EQ(testreg::Get(deep), Sz(kMarker + kNul)) << "18 ANSI bytes, kept as UTF-16";

    testreg::Set(path_, testreg::Raw(REG_DWORD, {1, 0, 0, 0}));
    ASSERT_EQ(Write(L"0"), ERROR_SUCCESS);
    EXPECT_EQ(testreg::Get(path_), Sz(L"0" + kNul));
    EXPECT_EQ(Read(), L"0");
}

TEST_F(RegistryTest, RefusedWriteReturnsTheStatusAndKeepsTheValue) {
    testreg::Set(path_, Sz(L"old" + kNul));
    const testreg::DenyWrites deny(path_);
    ASSERT_TRUE(deny.applied());

    EXPECT_EQ(Write(kMarker), ERROR_ACCESS_DENIED);
    EXPECT_EQ(testreg::Get(path_), Sz(L"old" + kNul));
    EXPECT_EQ(Read(), L"old") << "reading stays allowed";
}

// The system reads the native key: the program must neither read nor write the Wow6432Node
// copy that a 32-bit process on 64-bit Windows is otherwise redirected to.
TEST_F(RegistryTest, Wow64ProcessUsesOnlyTheNativeKey) {
    testreg::Set(path_, Sz(kMarker + kNul), KEY_WOW64_32KEY);
    EXPECT_EQ(Read(), std::nullopt) << "read Wow6432Node";

    ASSERT_EQ(Write(L"0"), ERROR_SUCCESS);
    EXPECT_EQ(testreg::Get(path_), Sz(L"0" + kNul));
    EXPECT_EQ(testreg::Get(path_, KEY_WOW64_32KEY), Sz(kMarker + kNul)) << "wrote Wow6432Node";
}

}  // namespace
