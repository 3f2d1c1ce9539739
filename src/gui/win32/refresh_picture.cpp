#include "gui/win32/refresh_picture.h"

#include <objidl.h>
#include <shlwapi.h>
// GDI+ wants min and max, which NOMINMAX keeps out of windows.h.
#include <algorithm>
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

HBITMAP makeRefreshPicture(UINT dpi, COLORREF background) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return nullptr;

    HBITMAP result = nullptr;
    IStream* stream = pictureStream();
    Gdiplus::GpBitmap* picture = nullptr;
    if (stream != nullptr && flat::GdipCreateBitmapFromStream(stream, &picture) == Gdiplus::Ok) {
        const int width = std::max(1, MulDiv(kWidth, static_cast<int>(dpi), 96));
        const int height = std::max(1, MulDiv(kHeight, static_cast<int>(dpi), 96));
        const Gdiplus::ARGB back = 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(background)) << 16) |
                                   (static_cast<Gdiplus::ARGB>(GetGValue(background)) << 8) | GetBValue(background);
        Gdiplus::GpBitmap* scaled = nullptr;
        if (width == kWidth && height == kHeight) {
            flat::GdipCreateHBITMAPFromBitmap(picture, &result, back);
        } else if (flat::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &scaled) ==
                   Gdiplus::Ok) {
            Gdiplus::GpGraphics* graphics = nullptr;
            if (flat::GdipGetImageGraphicsContext(scaled, &graphics) == Gdiplus::Ok) {
                flat::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
                flat::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
                flat::GdipDrawImageRectI(graphics, picture, 0, 0, width, height);
                flat::GdipDeleteGraphics(graphics);
                flat::GdipCreateHBITMAPFromBitmap(scaled, &result, back);
            }
            flat::GdipDisposeImage(scaled);
        }
        flat::GdipDisposeImage(picture);
    }
    if (stream != nullptr) stream->Release();
    Gdiplus::GdiplusShutdown(token);
    return result;
}

}  // namespace mabrel::win32gui
