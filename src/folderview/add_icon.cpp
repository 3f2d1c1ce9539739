// File icons: every row gets an image of its own in ImageList1, with its own
// index and key, showing the icon the desktop associates with the row's
// file. The images of files of one type share one picture, so the list
// holds each picture once however many rows show it.
#include <cstddef>
#include <memory>
#include <utility>

#include "app/frm_mabrel94.h"

namespace mabrel {

namespace {

// The picture fitted to the list's image size, nearest pixel.
IconImage fitted(const IconImage& icon, int width, int height) {
    IconImage out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int sy = y * icon.height / height;
        for (int x = 0; x < width; ++x) {
            const int sx = x * icon.width / width;
            out.pixels[static_cast<std::size_t>(y * width + x)] =
                icon.pixels[static_cast<std::size_t>(sy * icon.width + sx)];
        }
    }
    return out;
}

bool wellFormed(const IconImage& icon) {
    return icon.width > 0 && icon.height > 0 &&
           icon.pixels.size() == static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height);
}

}  // namespace

int frm_mabrel94::fun_AddIcon(const std::string& path) {
    if (path.empty()) {
        ImageList1.images.clear();
        ImageList1.imageWidth = 16;
        ImageList1.imageHeight = 16;
        fittedIcons_.clear();
        return 0;
    }
    SharedIcon icon = ui_.iconFor(path);
    if (!icon || !wellFormed(*icon)) return 0;
    if (icon->width != ImageList1.imageWidth || icon->height != ImageList1.imageHeight) {
        auto& fit = fittedIcons_[icon.get()];
        if (!fit.second) {
            const int w = ImageList1.imageWidth, h = ImageList1.imageHeight;
            fit = {icon, std::make_shared<const IconImage>(fitted(*icon, w, h))};
        }
        icon = fit.second;
    }
    ImageList1.images.add(path, std::move(icon));
    return static_cast<int>(ImageList1.images.size());
}

}  // namespace mabrel
