#pragma once

// What the screen shows of a window, frame included, against tests/golden/NAME.png, read and
// written through the Windows Imaging Component. A mismatch leaves the actual image in
// build/i686/golden-actual, which scripts/accept-goldens.sh takes as the new golden once it
// has been looked at.

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace golden {

using Microsoft::WRL::ComPtr;

// Polls until done, for at most the timeout. A 32-bit program takes up to 5 s to start under
// emulation; the default bound is well above that.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 30000) {
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !done(); Sleep(20)) {
        if (GetTickCount64() > end) return false;
    }
    return true;
}

// A folder that CTest names in the environment, as Windows programs see it.
inline std::wstring Folder(const wchar_t* variable) {
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(variable, folder, MAX_PATH);
    return folder;
}

// Top-down rows of 24-bit BGR pixels, each padded to 4 bytes, as GDI and WIC both lay them out.
struct Image {
    UINT width = 0, height = 0;
    std::vector<BYTE> pixels;
    bool operator==(const Image&) const = default;
    UINT Stride() const { return (width * 3 + 3) & ~3u; }
};

inline Image Capture(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    Image image{UINT(rect.right - rect.left), UINT(rect.bottom - rect.top), {}};
    image.pixels.resize(image.Stride() * image.height);
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof info.bmiHeader, LONG(image.width), -LONG(image.height), 1, 24, 0, 0, 0, 0, 0, 0};
    const HDC screen = GetDC(nullptr), copy = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, image.width, image.height);
    const HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(copy, old);
    GetDIBits(copy, bitmap, 0, image.height, image.pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return image;
}

inline IWICImagingFactory* Codecs() {
    static IWICImagingFactory* const factory = [] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IWICImagingFactory* made = nullptr;
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(&made));
        return made;
    }();
    return factory;
}

inline Image Read(const std::wstring& png) {
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> bgr;
    Image image;
    if (FAILED(Codecs()->CreateDecoderFromFilename(png.c_str(), nullptr, GENERIC_READ,
                                                   WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, frame.Get(), &bgr)) ||
        FAILED(bgr->GetSize(&image.width, &image.height))) {
        return {};
    }
    image.pixels.resize(image.Stride() * image.height);
    bgr->CopyPixels(nullptr, image.Stride(), UINT(image.pixels.size()), image.pixels.data());
    return image;
}

inline void Write(const std::wstring& png, Image image) {
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    Codecs()->CreateStream(&stream);
    stream->InitializeFromFilename(png.c_str(), GENERIC_WRITE);
    Codecs()->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    encoder->CreateNewFrame(&frame, nullptr);
    frame->Initialize(nullptr);
    frame->SetSize(image.width, image.height);
    frame->SetPixelFormat(&format);
    frame->WritePixels(image.height, image.Stride(), UINT(image.pixels.size()),
                       image.pixels.data());
    frame->Commit();
    encoder->Commit();
}

inline ::testing::AssertionResult LooksLike(HWND window, const std::wstring& name) {
    const Image expected = Read(Folder(L"BRASSELT_SOURCE") + L"\\tests\\golden\\" + name + L".png");
    Image actual;
    // Painting has no end that can be seen from outside.
    if (WaitFor([&] { return (actual = Capture(window)) == expected; }, 10000)) {
        return ::testing::AssertionSuccess();
    }
    const std::wstring folder = Folder(L"BRASSELT_BUILD") + L"\\golden-actual\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    Write(folder + name + L".png", actual);
    return ::testing::AssertionFailure()
           << name << " (" << actual.width << "x" << actual.height << ") differs from tests/golden/"
           << name << ".png; actual: " << folder << name << ".png";
}

}  // namespace golden
