#include "registry/registry.h"

#include <gtest/gtest.h>

#include "registry_helpers.h"

namespace reg = testing_registry;
using registry::ReadStringValue;
using registry::WriteStringValue;

namespace {

const std::wstring kMarker = L"@SYS:DoesNotExist";

// Each test works on a scratch key of its own under HKLM, cleared before it starts.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(info->test_suite_name()) + "." + info->name();
        path_ = L"SOFTWARE\\BrasseltTests\\" + std::wstring(name.begin(), name.end());
        reg::DeleteTree(path_);
    }
    void TearDown() override { reg::DeleteTree(path_); }

    std::optional<std::wstring> Read(const std::wstring& name = L"") {
        return ReadStringValue(HKEY_LOCAL_MACHINE, path_, name);
    }
    LONG Write(const std::wstring& data, const std::wstring& name = L"") {
        return WriteStringValue(HKEY_LOCAL_MACHINE, path_, name, data);
    }

    std::wstring path_;
};

TEST_F(RegistryTest, MissingIsEmptyButAnEmptyStringIsAString) {
    EXPECT_EQ(Read(), std::nullopt) << "missing key";

    reg::Create(path_);
    EXPECT_EQ(Read(), std::nullopt) << "missing value";

    ASSERT_EQ(reg::SetString(path_, L"", std::wstring(1, L'\0')), ERROR_SUCCESS);
    EXPECT_EQ(Read(), L"");

    ASSERT_EQ(reg::SetString(path_, L"named", L"x"), ERROR_SUCCESS);
    EXPECT_EQ(Read(L"named"), L"x");
    EXPECT_EQ(Read(L"other"), std::nullopt);
}

TEST_F(RegistryTest, WritesTheMarkersAsStringsWithTheirNul) {
    ASSERT_EQ(Write(kMarker), ERROR_SUCCESS);
    auto raw = reg::GetRaw(path_, L"");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    // 18 ANSI bytes, kept as 18 UTF-16 characters.
    EXPECT_EQ(raw->bytes, reg::WideBytes(kMarker + L'\0'));
    EXPECT_EQ(Read(), kMarker);

    ASSERT_EQ(Write(L"0"), ERROR_SUCCESS);
    raw = reg::GetRaw(path_, L"");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw->bytes, reg::WideBytes(std::wstring(L"0") + L'\0'));
    EXPECT_EQ(Read(), L"0");
}

TEST_F(RegistryTest, ReadEndsAtTheFirstNul) {
    reg::SetString(path_, L"", kMarker + L'\0' + L"left over from a longer value");
    EXPECT_EQ(Read(), kMarker);

    reg::SetString(path_, L"", std::wstring(L"ab\0cd", 5));
    EXPECT_EQ(Read(), L"ab");

    // Without a NUL the whole data is the text.
    reg::SetString(path_, L"", L"no terminator");
    EXPECT_EQ(Read(), L"no terminator");
}

TEST_F(RegistryTest, ReadsOtherTypesAsTheirBytes) {
    const DWORD abc = 0x00434241;
    reg::SetRaw(path_, L"", REG_DWORD, &abc, sizeof abc);
    EXPECT_EQ(Read(), L"ABC");

    const DWORD abcd = 0x44434241;
    reg::SetRaw(path_, L"", REG_DWORD, &abcd, sizeof abcd);
    EXPECT_EQ(Read(), L"ABCD");
}

TEST_F(RegistryTest, WriteCreatesTheWholePathAndReplacesAnyType) {
    const std::wstring deep = path_ + L"\\a\\b\\Autorun.inf";
    ASSERT_EQ(WriteStringValue(HKEY_LOCAL_MACHINE, deep, L"", kMarker), ERROR_SUCCESS);
    EXPECT_EQ(ReadStringValue(HKEY_LOCAL_MACHINE, deep, L""), kMarker);

    const DWORD number = 1;
    reg::SetRaw(path_, L"", REG_DWORD, &number, sizeof number);
    ASSERT_EQ(Write(L"0"), ERROR_SUCCESS);
    EXPECT_EQ(reg::GetRaw(path_, L"")->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Read(), L"0");
}

TEST_F(RegistryTest, RefusedWriteReportsTheStatusAndKeepsTheValue) {
    reg::SetString(path_, L"", L"old");
    const auto before = reg::GetRaw(path_, L"");
    const reg::DenyWrites deny(path_);
    ASSERT_TRUE(deny.applied());

    EXPECT_EQ(Write(kMarker), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read(), L"old") << "reading stays allowed";
    EXPECT_EQ(reg::GetRaw(path_, L"")->bytes, before->bytes);
}

TEST_F(RegistryTest, LongValuesReadWithoutFailing) {
    const std::wstring longText(40000, L'x');
    reg::SetString(path_, L"", longText + L'\0' + L"tail");
    EXPECT_EQ(Read(), longText) << "first NUL past 32,767";

    const std::vector<BYTE> noNul(100000, 'A');
    reg::SetRaw(path_, L"", REG_BINARY, noNul.data(), noNul.size());
    EXPECT_EQ(Read(), std::wstring(100000, L'A'));
}

// The system's AutoRun lookup reads the native key, so a 32-bit process must not be redirected
// to Wow6432Node. Only meaningful for a 32-bit build running on 64-bit Windows.
TEST_F(RegistryTest, Wow64ProcessUsesTheNativeView) {
    ASSERT_TRUE(reg::IsWow64()) << "not a 32-bit process on 64-bit Windows";
    reg::DeleteTree(path_, KEY_WOW64_32KEY);

    ASSERT_EQ(Write(kMarker), ERROR_SUCCESS);
    ASSERT_TRUE(reg::GetRaw(path_, L""));
    EXPECT_FALSE(reg::GetRaw(path_, L"", KEY_WOW64_32KEY)) << "written to Wow6432Node";

    reg::DeleteTree(path_);
    const std::wstring redirected = L"32-bit view";
    reg::SetRaw(path_, L"", REG_SZ, redirected.c_str(), (redirected.size() + 1) * sizeof(wchar_t),
                KEY_WOW64_32KEY);
    EXPECT_EQ(Read(), std::nullopt) << "read from Wow6432Node";
    reg::DeleteTree(path_, KEY_WOW64_32KEY);
}

}  // namespace
