#pragma once

// What the screen shows of a window, frame included, against a golden image: tests/golden/
// NAME.png, which the build turns into a 24-bit BMP for the tests to read. A mismatch leaves
// the actual image and a diff in build/i686/golden-actual; scripts/accept-goldens.sh takes
// them as the new goldens once they have been looked at.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace golden {

// Rows of 24-bit pixels, bottom-up and padded to 4 bytes, as in a BMP file.
struct Image {
    LONG width = 0, height = 0;
    std::vector<BYTE> pixels;
    bool operator==(const Image&) const = default;
};

inline size_t Stride(const Image& image) { return (image.width * 3 + 3) & ~3; }

// Polls until done, for at most the timeout. A 32-bit program takes up to 5 s to start under
// emulation; the default bound is well above that.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 30000) {
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !done(); Sleep(20)) {
        if (GetTickCount64() > end) return false;
    }
    return true;
}

// The build folder as Windows programs see it.
inline std::wstring BuildFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"BRASSELT_BUILD", folder, MAX_PATH);
    return folder;
}

inline BITMAPINFOHEADER Header(const Image& image) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>(image.pixels.size());
    return info;
}

// What the screen shows in that rectangle.
inline Image Capture(const RECT& rect) {
    Image image{rect.right - rect.left, rect.bottom - rect.top, {}};
    image.pixels.resize(Stride(image) * image.height);
    BITMAPINFOHEADER info = Header(image);
    const HDC screen = GetDC(nullptr), copy = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, image.width, image.height);
    const HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(copy, old);
    GetDIBits(copy, bitmap, 0, image.height, image.pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return image;
}

// The window with its frame.
inline Image Capture(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return Capture(rect);
}

inline Image Read(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    if (bytes.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return {};
    const auto* head = reinterpret_cast<const BITMAPFILEHEADER*>(bytes.data());
    const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(head + 1);
    Image image{info->biWidth, info->biHeight, {}};
    const size_t size = Stride(image) * image.height;
    if (info->biBitCount != 24 || head->bfOffBits + size > bytes.size()) return {};
    const auto pixels = bytes.begin() + head->bfOffBits;
    image.pixels.assign(pixels, pixels + size);
    return image;
}

inline void Write(const std::wstring& path, const Image& image) {
    const BITMAPINFOHEADER info = Header(image);
    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42;  // "BM"
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + info.biSizeImage;
    std::ofstream file(path.c_str(), std::ios::binary);
    file.write(reinterpret_cast<const char*>(&head), sizeof head);
    file.write(reinterpret_cast<const char*>(&info), sizeof info);
    file.write(reinterpret_cast<const char*>(image.pixels.data()), info.biSizeImage);
}

// Waits until the window looks like expected: painting has no end that can be seen from
// outside. Returns the last capture.
inline Image WaitToLookLike(HWND window, const Image& expected) {
    Image actual;
    WaitFor([&] { return (actual = Capture(window)) == expected; }, 10000);
    return actual;
}

inline ::testing::AssertionResult LooksLike(HWND window, const std::wstring& name) {
    const Image expected = Read(BuildFolder() + L"\\golden\\" + name + L".bmp");
    const Image actual = WaitToLookLike(window, expected);
    if (actual == expected) return ::testing::AssertionSuccess();

    const std::wstring folder = BuildFolder() + L"\\golden-actual\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    Write(folder + name + L".bmp", actual);
    auto failure = ::testing::AssertionFailure()
                   << name << ": the window (" << actual.width << "x" << actual.height
                   << ") differs from tests/golden/" << name << ".png (" << expected.width << "x"
                   << expected.height << "). Actual: " << folder << name << ".bmp";
    if (actual.pixels.size() != expected.pixels.size()) return failure;
    // Differing pixels in red on the actual image.
    Image diff = actual;
    for (size_t row = 0; row < static_cast<size_t>(actual.height); ++row) {
        for (size_t i = row * Stride(actual); i < row * Stride(actual) + actual.width * 3; i += 3) {
            if (!std::equal(&actual.pixels[i], &actual.pixels[i] + 3, &expected.pixels[i])) {
                diff.pixels[i] = diff.pixels[i + 1] = 0;
                diff.pixels[i + 2] = 255;
            }
        }
    }
    Write(folder + name + L"-diff.bmp", diff);
    return failure << ", diff: " << folder << name << "-diff.bmp";
}

}  // namespace golden
