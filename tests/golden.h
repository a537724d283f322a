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

// Rows of 24-bit pixels, whatever the format of the source, so that two images compare equal
// exactly when they look the same.
struct Pixels {
    UINT width = 0, height = 0;
    std::vector<BYTE> bgr;
    bool operator==(const Pixels&) const = default;
};

inline Pixels PixelsOf(IWICBitmapSource* source) {
    ComPtr<IWICBitmapSource> converted;
    Pixels pixels;
    if (!source ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, source, &converted)) ||
        FAILED(converted->GetSize(&pixels.width, &pixels.height))) {
        return {};
    }
    pixels.bgr.resize(pixels.width * 3 * pixels.height);
    converted->CopyPixels(nullptr, pixels.width * 3, UINT(pixels.bgr.size()), pixels.bgr.data());
    return pixels;
}

inline ComPtr<IWICBitmap> Capture(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr), copy = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(copy, old);
    ComPtr<IWICBitmap> image;
    Codecs()->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &image);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return image;
}

inline ::testing::AssertionResult LooksLike(HWND window, const std::wstring& name) {
    const std::wstring png = Folder(L"BRASSELT_SOURCE") + L"\\tests\\golden\\" + name + L".png";
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> expected;
    if (SUCCEEDED(Codecs()->CreateDecoderFromFilename(png.c_str(), nullptr, GENERIC_READ,
                                                      WICDecodeMetadataCacheOnDemand, &decoder))) {
        decoder->GetFrame(0, &expected);
    }
    const Pixels want = PixelsOf(expected.Get());
    ComPtr<IWICBitmap> actual;
    // Painting has no end that can be seen from outside.
    if (WaitFor([&] { return PixelsOf((actual = Capture(window)).Get()) == want; }, 10000)) {
        return ::testing::AssertionSuccess();
    }
    const std::wstring folder = Folder(L"BRASSELT_BUILD") + L"\\golden-actual\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    Codecs()->CreateStream(&stream);
    stream->InitializeFromFilename((folder + name + L".png").c_str(), GENERIC_WRITE);
    Codecs()->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    encoder->CreateNewFrame(&frame, nullptr);
    frame->Initialize(nullptr);
    frame->SetPixelFormat(&format);
    frame->WriteSource(actual.Get(), nullptr);
    frame->Commit();
    encoder->Commit();
    return ::testing::AssertionFailure() << name << " differs from tests/golden/" << name
                                         << ".png; actual: " << folder << name << ".png";
}

}  // namespace golden
