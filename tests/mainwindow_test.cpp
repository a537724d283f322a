#include "mainwindow/mainwindow.h"

#include <gtest/gtest.h>

#include "registry_helpers.h"
#include "resources/resource.h"

namespace reg = testing_registry;

namespace {

const std::wstring kKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
const std::wstring kMarker = L"@SYS:DoesNotExist";

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

UniqueWindow NewForm() {
    UniqueWindow form(CreateForm1(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(form) << GetLastError();
    return form;
}

// The control's rectangle in the parent's client coordinates.
RECT ChildRect(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring Text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

TEST(Form1, IsCreatedInvisibleWithTheDesignedLayout) {
    const UniqueWindow form = NewForm();
    ASSERT_TRUE(form);
    EXPECT_FALSE(IsWindowVisible(form.get()));
    EXPECT_EQ(Text(form.get()), L"Tolvik Brasselt");

    const LONG_PTR style = GetWindowLongPtrW(form.get(), GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << "resizable, with both boxes";
    EXPECT_FALSE(GetWindowLongPtrW(form.get(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    RECT client;
    GetClientRect(form.get(), &client);
    EXPECT_EQ(client.right, 501);
    EXPECT_EQ(client.bottom, 178);

    RECT frame;
    GetWindowRect(form.get(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    HWND check1 = GetDlgItem(form.get(), IDC_CHECK1);
    ASSERT_TRUE(check1);
    EXPECT_EQ(Text(check1), L"Completly Disable All Drives Autorun");
    EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(GetWindowLongPtrW(check1, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_TRUE(GetWindowLongPtrW(check1, GWL_STYLE) & WS_TABSTOP);
    const RECT place = ChildRect(check1);
    EXPECT_EQ(place.left, 100);
    EXPECT_EQ(place.top, 132);
    EXPECT_EQ(place.right - place.left, 307);
    EXPECT_EQ(place.bottom - place.top, 29);

    const LOGFONTW font = FontOf(check1);
    EXPECT_STREQ(font.lfFaceName, L"Arial");
    EXPECT_EQ(font.lfHeight, -16) << "12 pt at 96 DPI";
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfCharSet, ARABIC_CHARSET);
    EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
}

TEST(Form1, PaintsTheCheckboxInButtonColours) {
    const UniqueWindow form = NewForm();
    ASSERT_TRUE(form);
    HDC dc = CreateCompatibleDC(nullptr);
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(form.get(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(GetDlgItem(form.get(), IDC_CHECK1))));
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
    LOGBRUSH fill{};
    ASSERT_TRUE(GetObjectW(brush, sizeof fill, &fill));
    EXPECT_EQ(fill.lbColor, GetSysColor(COLOR_BTNFACE));
    DeleteDC(dc);
}

// Loading ticks the box only for the exact marker, and neither the load nor a click
// notification while the window is hidden writes anything.
TEST(Form1, LoadTicksOnlyForTheExactMarkerAndWritesNothing) {
    struct Case {
        const wchar_t* what;
        std::optional<std::wstring> stored;
        bool ticked;
    };
    const Case cases[] = {
        {L"marker", kMarker + L'\0', true},
        {L"missing value", std::nullopt, false},
        {L"enabled marker", std::wstring(L"0") + L'\0', false},
        {L"empty", std::wstring(1, L'\0'), false},
        {L"other case", L"@sys:doesnotexist" + std::wstring(1, L'\0'), false},
        {L"leading space", L" " + kMarker + L'\0', false},
        {L"trailing space", kMarker + L" " + L'\0', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.what, c.what + wcslen(c.what)));
        reg::DeleteTree(kKey);
        reg::Create(kKey);
        if (c.stored) reg::SetString(kKey, L"", *c.stored);
        const auto before = reg::GetRaw(kKey, L"");

        const UniqueWindow form = NewForm();
        ASSERT_TRUE(form);
        Form1_Load(form.get());
        HWND check1 = GetDlgItem(form.get(), IDC_CHECK1);
        EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), c.ticked ? BST_CHECKED : BST_UNCHECKED);

        SendMessageW(form.get(), WM_COMMAND, MAKEWPARAM(IDC_CHECK1, BN_CLICKED),
                     reinterpret_cast<LPARAM>(check1));
        const auto after = reg::GetRaw(kKey, L"");
        ASSERT_EQ(after.has_value(), before.has_value());
        if (after) {
            EXPECT_EQ(after->bytes, before->bytes);
        }
    }

    reg::DeleteTree(kKey);
    const UniqueWindow form = NewForm();
    ASSERT_TRUE(form);
    Form1_Load(form.get());
    EXPECT_EQ(SendMessageW(GetDlgItem(form.get(), IDC_CHECK1), BM_GETCHECK, 0, 0), BST_UNCHECKED)
        << "missing key";
}

}  // namespace
