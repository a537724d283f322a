// Reads the resources of the built Brasselt.exe: the icon group, its images and the version
// record, and nothing else.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

std::wstring BuildFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"BRASSELT_BUILD", folder, MAX_PATH);
    return folder;
}

std::vector<BYTE> FileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

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
        exe_ = LoadLibraryExW((BuildFolder() + L"\\Brasselt.exe").c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(exe_) << GetLastError();
    }
    void TearDown() override { FreeLibrary(exe_); }

    std::vector<BYTE> Resource(const wchar_t* type, int id) const {
        HRSRC found = FindResourceW(exe_, MAKEINTRESOURCEW(id), type);
        if (!found) return {};
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(exe_, found)));
        return {data, data + SizeofResource(exe_, found)};
    }

    HMODULE exe_ = nullptr;
};

BOOL CALLBACK AddType(HMODULE, LPWSTR type, LONG_PTR types) {
    reinterpret_cast<std::set<ULONG_PTR>*>(types)->insert(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

TEST_F(ExeResources, HoldOnlyTheIconGroupItsImagesAndTheVersionRecord) {
    std::set<ULONG_PTR> types;
    EnumResourceTypesW(exe_, AddType, reinterpret_cast<LONG_PTR>(&types));
    EXPECT_EQ(types, (std::set<ULONG_PTR>{3, 14, 16})) << "RT_ICON, RT_GROUP_ICON, RT_VERSION";
    EXPECT_TRUE(FindResourceExW(exe_, RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)));

    const std::vector<BYTE> group = Resource(RT_GROUP_ICON, IDI_APP);
    ASSERT_EQ(group.size(), 6 + 8 * sizeof(GroupEntry));
    EXPECT_EQ(group[2], 1) << "type: icon";
    EXPECT_EQ(group[4], 8) << "image count";
    const auto* entries = reinterpret_cast<const GroupEntry*>(group.data() + 6);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const int size = std::vector{48, 32, 24, 16}[i % 4], bits = i < 4 ? 8 : 32;
        const GroupEntry& e = entries[i];
        EXPECT_EQ(e.id, 30001 + i);
        EXPECT_EQ(e.width, size);
        EXPECT_EQ(e.height, size);
        EXPECT_EQ(e.bitCount, bits);
        EXPECT_EQ(e.planes, 1);
        EXPECT_EQ(e.colourCount, 0);

        const std::vector<BYTE> image = Resource(RT_ICON, e.id);
        EXPECT_EQ(image.size(), e.bytes);
        EXPECT_EQ(image,
                  FileBytes(BuildFolder() + L"\\icon\\icon_" + std::to_wstring(e.id) + L".bin"))
            << "not the image the generator drew";
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(header->biWidth, size);
        EXPECT_EQ(header->biHeight, 2 * size) << "colour rows and mask";
        EXPECT_EQ(header->biBitCount, bits);
        EXPECT_EQ(header->biClrUsed, bits == 8 ? 256u : 0u);
    }
}

TEST_F(ExeResources, VersionRecord) {
    std::vector<BYTE> record = Resource(RT_VERSION, 1);
    ASSERT_FALSE(record.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    const DWORD expected[] = {0x00010000, 0, 0x00010000, 0, 0, 0, VOS__WINDOWS32, VFT_APP, 0, 0, 0};
    EXPECT_EQ(std::vector<DWORD>(&fixed->dwFileVersionMS, &fixed->dwFileDateLS + 1),
              std::vector<DWORD>(std::begin(expected), std::end(expected)))
        << "versions 1.0.0.0, flags 0/0, OS, type, subtype, date";

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &size));
    EXPECT_EQ(*translation, 0x04B00409u);

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
    for (const auto& [key, value] : strings) {
        wchar_t* found = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        EXPECT_TRUE(
            VerQueryValueW(record.data(), path.c_str(), reinterpret_cast<void**>(&found), &size) &&
            wcscmp(found, value) == 0)
            << std::string(key, key + wcslen(key));
    }
}

}  // namespace
