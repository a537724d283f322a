// Reads the resources of the built Brasselt.exe: the icon group, its images and the version
// record, and nothing else.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

struct ModuleFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

class ExeResources : public ::testing::Test {
protected:
    void SetUp() override {
        exe_.reset(LoadLibraryExW(Environment(L"BRASSELT_EXE").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(exe_) << GetLastError();
    }

    std::vector<BYTE> Resource(const wchar_t* type, int id) const {
        HRSRC found = FindResourceW(exe_.get(), MAKEINTRESOURCEW(id), type);
        if (!found) return {};
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(exe_.get(), found)));
        return std::vector<BYTE>(data, data + SizeofResource(exe_.get(), found));
    }

    std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer> exe_;
};

BOOL CALLBACK AddType(HMODULE, LPWSTR type, LONG_PTR types) {
    reinterpret_cast<std::set<ULONG_PTR>*>(types)->insert(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

TEST_F(ExeResources, HoldsOnlyTheIconsAndTheVersionRecord) {
    std::set<ULONG_PTR> types;
    EnumResourceTypesW(exe_.get(), AddType, reinterpret_cast<LONG_PTR>(&types));
    const std::set<ULONG_PTR> expected{reinterpret_cast<ULONG_PTR>(RT_ICON),
                                       reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON),
                                       reinterpret_cast<ULONG_PTR>(RT_VERSION)};
    EXPECT_EQ(types, expected) << "no manifest, dialog, menu or string table";
}

TEST_F(ExeResources, IconGroupHoldsTheGeneratedImages) {
    ASSERT_TRUE(FindResourceExW(exe_.get(), RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)))
        << "group 1 is not language neutral";
    const std::vector<BYTE> group = Resource(RT_GROUP_ICON, IDI_APP);
    ASSERT_EQ(group.size(), 6 + 8 * sizeof(GroupEntry));
    EXPECT_EQ(group[2], 1) << "type: icon";
    ASSERT_EQ(group[4], 8) << "image count";

    const auto* entries = reinterpret_cast<const GroupEntry*>(group.data() + 6);
    const int sizes[] = {48, 32, 24, 16, 48, 32, 24, 16};
    const std::wstring generated = Environment(L"BRASSELT_ICON_DIR");
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const GroupEntry& e = entries[i];
        EXPECT_EQ(e.id, 30001 + i);
        EXPECT_EQ(e.width, sizes[i]);
        EXPECT_EQ(e.height, sizes[i]);
        EXPECT_EQ(e.bitCount, i < 4 ? 8 : 32);
        EXPECT_EQ(e.planes, 1);
        EXPECT_EQ(e.colourCount, 0);

        const std::vector<BYTE> image = Resource(RT_ICON, e.id);
        EXPECT_EQ(image.size(), e.bytes);
        std::ifstream file(
            std::filesystem::path(generated + L"\\icon_" + std::to_wstring(e.id) + L".bin"),
            std::ios::binary);
        ASSERT_TRUE(file) << "generator output missing";
        const std::vector<BYTE> drawn{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(image, drawn) << "the exe does not carry what the generator draws";

        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(header->biWidth, sizes[i]);
        EXPECT_EQ(header->biHeight, 2 * sizes[i]) << "colour rows and mask";
        EXPECT_EQ(header->biClrUsed, i < 4 ? 256u : 0u);
    }
}

TEST_F(ExeResources, VersionRecord) {
    const std::vector<BYTE> record = Resource(RT_VERSION, 1);
    ASSERT_FALSE(record.empty());
    std::vector<BYTE> copy = record;  // VerQueryValue may write into its block

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS | fixed->dwFileDateLS, 0u);

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &size));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(LOWORD(*translation), 0x0409);
    EXPECT_EQ(HIWORD(*translation), 0x04B0);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L"\u062A\u0648\u0644\u0648\u06CC\u06A9"},
        {L"FileDescription",
         L"\u063A\u06CC\u0631\u0641\u0639\u0627\u0644 \u06A9\u0631\u062F\u0646 "
         L"\u0627\u062C\u0631\u0627\u06CC \u062E\u0648\u062F\u06A9\u0627\u0631 "
         L"\u0647\u0645\u0647 \u062F\u0631\u0627\u06CC\u0648\u0647\u0627"},
        {L"ProductName", L"Ostrevan"},
        {L"FileVersion", L"1.00"},
        {L"ProductVersion", L"1.00"},
        {L"InternalName", L"Brasselt"},
        {L"OriginalFilename", L"Brasselt.exe"},
    };
    for (const auto& [key, expected] : strings) {
        wchar_t* value = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        ASSERT_TRUE(
            VerQueryValueW(copy.data(), path.c_str(), reinterpret_cast<void**>(&value), &size))
            << std::string(key, key + wcslen(key));
        EXPECT_STREQ(value, expected);
    }
}

}  // namespace
