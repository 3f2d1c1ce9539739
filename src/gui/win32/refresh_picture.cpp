#include "gui/win32/refresh_picture.h"

#include <objidl.h>
#include <shlwapi.h>
// GDI+ wants min and max, which NOMINMAX keeps out of windows.h.
#include <algorithm>
#include <cstdint>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "gui/win32/resource_ids.h"

namespace mabrel::win32gui {

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 50;

namespace flat = Gdiplus::DllExports;

// The picture's bytes as the resource holds them.
IStream* pictureStream() {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(IDR_REFRESH_PICTURE), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = ::LoadResource(self, found);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) return nullptr;
    return ::SHCreateMemStream(static_cast<const BYTE*>(bytes), ::SizeofResource(self, found));
}

}  // namespace

HBITMAP makeRefreshPicture(UINT dpi) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return nullptr;

    HBITMAP result = nullptr;
    IStream* stream = pictureStream();
    Gdiplus::GpBitmap* picture = nullptr;
    if (stream != nullptr && flat::GdipCreateBitmapFromStream(stream, &picture) == Gdiplus::Ok) {
        const int width = std::max(1, MulDiv(kWidth, static_cast<int>(dpi), 96));
        const int height = std::max(1, MulDiv(kHeight, static_cast<int>(dpi), 96));
        // GDI+ draws straight into the bitmap's own pixels (top-down, the
        // byte order of a 32-bit DIB).
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        Gdiplus::GpBitmap* target = nullptr;
        if (bitmap != nullptr &&
            flat::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB, static_cast<BYTE*>(bits),
                                            &target) == Gdiplus::Ok) {
            Gdiplus::GpGraphics* graphics = nullptr;
            if (flat::GdipGetImageGraphicsContext(target, &graphics) == Gdiplus::Ok) {
                flat::GdipGraphicsClear(graphics, 0);
                flat::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
                flat::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
                flat::GdipDrawImageRectI(graphics, picture, 0, 0, width, height);
                flat::GdipDeleteGraphics(graphics);
                ::GdiFlush();
                // Nothing but black where nothing is drawn.
                auto* pixel = static_cast<std::uint32_t*>(bits);
                for (int i = 0; i < width * height; ++i) {
                    if ((pixel[i] >> 24) == 0) pixel[i] = 0;
                }
                result = bitmap;
                bitmap = nullptr;
            }
            flat::GdipDisposeImage(target);
        }
        if (bitmap != nullptr) ::DeleteObject(bitmap);
        flat::GdipDisposeImage(picture);
    }
    if (stream != nullptr) stream->Release();
    Gdiplus::GdiplusShutdown(token);
    return result;
}

}  // namespace mabrel::win32gui
