#include "platform/ui/Bitmap.h"

#include <png.h>

namespace platform {

std::shared_ptr<const Bitmap> Bitmap::decodePNG(std::string_view bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return nullptr;
    // The header has been read; the size it claims is checked before the pixels are.
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
        png_image_free(&image);
        return nullptr;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);  // finish_read frees on success and on failure; harmless twice
        return nullptr;
    }
    return std::make_shared<Bitmap>(image.width, image.height, std::move(rgba));
}

}  // namespace platform
