#include "mainwindow/mainwindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "resources/resource.h"

namespace {

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

    struct Expected {
        int id;
        const wchar_t* text;
        RECT place;  // left, top, width, height in pixels
        LONG fontHeight;
        BYTE charset;
    };
    const Expected controls[] = {
        {IDC_LABEL1, L"created by Tolvik", {50, 10, 413, 29}, -24, ANSI_CHARSET},
        {IDC_LABEL2, L"2008 - 2009", {178, 45, 157, 29}, -29, ANSI_CHARSET},
        {IDC_LABEL3,
         L"www.tolvik.example  - contact@tolvik.example",
         {37, 80, 439, 25},
         -15,
         ANSI_CHARSET},
        {IDC_CHECK1,
         L"Completly Disable All Drives Autorun",
         {100, 132, 307, 29},
         -16,
         ARABIC_CHARSET},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(e.id);
        HWND control = GetDlgItem(form.get(), e.id);
        ASSERT_TRUE(control);
        EXPECT_EQ(Text(control), e.text);
        const RECT place = ChildRect(control);
        EXPECT_EQ(place.left, e.place.left);
        EXPECT_EQ(place.top, e.place.top);
        EXPECT_EQ(place.right - place.left, e.place.right);
        EXPECT_EQ(place.bottom - place.top, e.place.bottom);

        const LOGFONTW font = FontOf(control);
        EXPECT_STREQ(font.lfFaceName, L"Arial");
        EXPECT_EQ(font.lfHeight, e.fontHeight);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_EQ(font.lfCharSet, e.charset);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    }

    HWND check1 = GetDlgItem(form.get(), IDC_CHECK1);
    EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(GetWindowLongPtrW(check1, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);

    // Tab order is the children's order; only the checkbox is a tab stop.
    std::vector<int> order;
    for (HWND child = GetWindow(form.get(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        order.push_back(GetDlgCtrlID(child));
        EXPECT_EQ((GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) != 0, child == check1);
    }
    EXPECT_EQ(order, (std::vector<int>{IDC_LABEL2, IDC_LABEL1, IDC_CHECK1, IDC_LABEL3}));

    // Both icons come from the exe's icon group.
    const auto big = reinterpret_cast<HICON>(GetClassLongPtrW(form.get(), GCLP_HICON));
    const auto small = reinterpret_cast<HICON>(GetClassLongPtrW(form.get(), GCLP_HICONSM));
    EXPECT_EQ(big, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP)));
    EXPECT_TRUE(small);
}

// Counts, inside a control's rectangle on screen, the pixels of each colour asked for.
std::vector<int> CountColours(HWND control, const std::vector<COLORREF>& colours) {
    RECT rect;
    GetWindowRect(control, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();

    std::vector<int> counts(colours.size());
    const auto* pixels = static_cast<const RGBQUAD*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const COLORREF pixel = RGB(pixels[i].rgbRed, pixels[i].rgbGreen, pixels[i].rgbBlue);
        for (size_t c = 0; c < colours.size(); ++c)
            counts[c] += pixel == colours[c];
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return counts;
}

TEST(Form1, DrawsLabel2InRedAndTheRestInButtonColours) {
    const UniqueWindow form = NewForm();
    ASSERT_TRUE(form);
    ShowWindow(form.get(), SW_SHOWNORMAL);
    SetForegroundWindow(form.get());
    UpdateWindow(form.get());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);

    EXPECT_EQ(GetFocus(), GetDlgItem(form.get(), IDC_CHECK1)) << "the first focus";

    const COLORREF red = RGB(255, 0, 0);
    const COLORREF text = GetSysColor(COLOR_BTNTEXT);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int id : {IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_CHECK1}) {
        SCOPED_TRACE(id);
        const auto counts = CountColours(GetDlgItem(form.get(), id), {red, text, face});
        if (id == IDC_LABEL2) {
            EXPECT_GT(counts[0], 50) << "red text";
            EXPECT_EQ(counts[1], 0);
        } else {
            EXPECT_EQ(counts[0], 0);
            EXPECT_GT(counts[1], 50) << "button-text colour";
        }
        EXPECT_GT(counts[2], 200) << "opaque button-face background";
    }
}

}  // namespace
