// Form1 inside the test process, for what only its own process can do to it: a change of the
// display's scale, and of the system colours.

#include "mainwindow/mainwindow.h"

#include <gtest/gtest.h>

#include "golden_image.h"
#include "win32/win32.h"

namespace {

using UniqueWindow = win32::UniqueHandleOf<HWND, DestroyWindow>;

UniqueWindow ShowForm1() {
    UniqueWindow form(CreateForm1(GetModuleHandleW(nullptr)));
    ShowWindow(form.get(), SW_SHOWNORMAL);
    SetForegroundWindow(form.get());
    return form;
}

// Paints what is due; a window of the test's own is painted only while it pumps messages.
golden::Image PumpAndCapture(HWND window) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    UpdateWindow(window);
    return golden::Capture(window);
}

TEST(Form1, FollowsAChangeOfTheDisplayScale) {
    const UniqueWindow form = ShowForm1();
    ASSERT_TRUE(form) << GetLastError();
    const golden::Image atStart = PumpAndCapture(form.get());
    RECT start;
    GetWindowRect(form.get(), &start);

    // As Windows suggests it when the window moves to a display at 200 %.
    RECT suggested{2, 2, 2 + 2 * (start.right - start.left), 2 + 2 * (start.bottom - start.top)};
    SendMessageW(form.get(), WM_DPICHANGED, MAKEWPARAM(192, 192),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT moved;
    GetWindowRect(form.get(), &moved);
    EXPECT_TRUE(EqualRect(&moved, &suggested)) << "the window did not take the suggested place";
    PumpAndCapture(form.get());
    EXPECT_TRUE(golden::LooksLike(form.get(), L"window-dpi-changed-to-192"));

    SendMessageW(form.get(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&start));
    PumpAndCapture(form.get());
    EXPECT_TRUE(golden::WaitToLookLike(form.get(), atStart) == atStart)
        << "back at 96 DPI, the window differs from the one at start";
}

TEST(Form1, LabelsFollowTheSystemButtonFace) {
    const UniqueWindow form = ShowForm1();
    ASSERT_TRUE(form);
    PumpAndCapture(form.get());
    const int element = COLOR_BTNFACE;
    const COLORREF old = GetSysColor(COLOR_BTNFACE), teal = RGB(0, 128, 128);
    ASSERT_TRUE(SetSysColors(1, &element, &teal));

    PumpAndCapture(form.get());
    RECT client;
    GetClientRect(form.get(), &client);
    MapWindowPoints(form.get(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    const golden::Image after = golden::Capture(client);
    SetSysColors(1, &element, &old);
    size_t stale = 0;
    for (LONG row = 0; row < after.height; ++row) {
        for (LONG column = 0; column < after.width; ++column) {
            const BYTE* bgr = &after.pixels[row * golden::Stride(after) + column * 3];
            stale += RGB(bgr[2], bgr[1], bgr[0]) == old;
        }
    }
    EXPECT_EQ(stale, 0u) << "pixels of the client keep the old button face";
}

// Wine cannot show this path: runas starts the program at once, without a prompt to decline.
TEST(Form1, DecliningTheUacPromptShowsNoFailure) {
    EXPECT_FALSE(ReportsRestartFailure(ERROR_CANCELLED));
    EXPECT_TRUE(ReportsRestartFailure(ERROR_PATH_NOT_FOUND));
}

}  // namespace
