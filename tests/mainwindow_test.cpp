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

std::wstring Text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

TEST(Form1, IsCreatedInvisibleWithTheDesignedLayout) {
    const UniqueWindow form(CreateForm1(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(form) << GetLastError();
    EXPECT_FALSE(IsWindowVisible(form.get()));
    EXPECT_EQ(Text(form.get()), L"Tolvik Brasselt");
    EXPECT_EQ(GetWindowLongPtrW(form.get(), GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);

    RECT client, frame;
    GetClientRect(form.get(), &client);
    EXPECT_EQ(client.right, 501);
    EXPECT_EQ(client.bottom, 178);
    GetWindowRect(form.get(), &frame);
    EXPECT_NEAR(frame.left + frame.right, GetSystemMetrics(SM_CXSCREEN), 2) << "centred";
    EXPECT_NEAR(frame.top + frame.bottom, GetSystemMetrics(SM_CYSCREEN), 2) << "centred";
    EXPECT_EQ(GetClassLongPtrW(form.get(), GCLP_HICON),
              reinterpret_cast<LONG_PTR>(
                  LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))));

    struct Control {
        int id;
        const wchar_t* text;
        RECT place;  // left, top, width, height in pixels
        LONG fontHeight;
        BYTE charset;
    };
    // In tab order; only the checkbox is a tab stop.
    const Control expected[] = {
        {IDC_LABEL2, L"2008 - 2009", {178, 45, 157, 29}, -29, ANSI_CHARSET},
        {IDC_LABEL1, L"created by Tolvik", {50, 10, 413, 29}, -24, ANSI_CHARSET},
        {IDC_CHECK1,
         L"Completly Disable All Drives Autorun",
         {100, 132, 307, 29},
         -16,
         ARABIC_CHARSET},
        {IDC_LABEL3,
         L"www.tolvik.example  - contact@tolvik.example",
         {37, 80, 439, 25},
         -15,
         ANSI_CHARSET},
    };
    HWND control = GetWindow(form.get(), GW_CHILD);
    for (const Control& e : expected) {
        SCOPED_TRACE(e.id);
        ASSERT_EQ(GetDlgCtrlID(control), e.id) << "tab order";
        EXPECT_EQ(Text(control), e.text);
        RECT place;
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, form.get(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, e.place.left);
        EXPECT_EQ(place.top, e.place.top);
        EXPECT_EQ(place.right - place.left, e.place.right);
        EXPECT_EQ(place.bottom - place.top, e.place.bottom);

        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_STREQ(font.lfFaceName, L"Arial");
        EXPECT_EQ(font.lfHeight, e.fontHeight);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_EQ(font.lfCharSet, e.charset);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
        EXPECT_EQ((GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0, e.id == IDC_CHECK1);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "no other controls";
}

// Counts, inside a control's rectangle on screen, the pixels of each colour asked for.
std::vector<int> CountColours(HWND control, const std::vector<COLORREF>& colours) {
    RECT rect;
    GetWindowRect(control, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    std::vector<int> counts(colours.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (size_t c = 0; c < colours.size(); ++c)
                counts[c] += GetPixel(copy, x, y) == colours[c];
        }
    }
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return counts;
}

TEST(Form1, ShowsLabel2InRedAndGivesCheck1TheFocus) {
    const UniqueWindow form(CreateForm1(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(form);
    ShowWindow(form.get(), SW_SHOWNORMAL);
    SetForegroundWindow(form.get());
    UpdateWindow(form.get());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_EQ(GetFocus(), GetDlgItem(form.get(), IDC_CHECK1));

    const COLORREF red = RGB(255, 0, 0), text = GetSysColor(COLOR_BTNTEXT);
    for (int id : {IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_CHECK1}) {
        SCOPED_TRACE(id);
        const auto counts =
            CountColours(GetDlgItem(form.get(), id), {red, text, GetSysColor(COLOR_BTNFACE)});
        EXPECT_GT(counts[id == IDC_LABEL2 ? 0 : 1], 50) << "text colour";
        EXPECT_EQ(counts[id == IDC_LABEL2 ? 1 : 0], 0) << "the other text colour";
        EXPECT_GT(counts[2], 200) << "opaque button-face background";
    }
}

// Wine cannot show this path: runas starts the program at once, without a prompt to decline.
TEST(Form1, DecliningTheUacPromptShowsNoFailure) {
    EXPECT_FALSE(ReportsRestartFailure(ERROR_CANCELLED));
    EXPECT_TRUE(ReportsRestartFailure(ERROR_PATH_NOT_FOUND));
}

}  // namespace
