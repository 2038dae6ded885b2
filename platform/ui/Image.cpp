#include "platform/ui/Image.h"

#include <png.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/foundation/Bundle.h"

namespace platform {

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    // The header is all a size needs; the file is not decoded up front (a picture is only
    // drawn when shown), so a large image costs nothing here.
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, head.data(), head.size())) return nullptr;
    auto result = std::make_shared<Image>(path, image.width, image.height);
    png_image_free(&image);
    return result;
}

std::shared_ptr<Image> Image::imageWithData(std::string_view bytes, std::string name) {
    auto bitmap = Bitmap::decodePNG(bytes);
    if (!bitmap) return nullptr;
    return std::make_shared<Image>(std::move(name), std::move(bitmap));
}

std::shared_ptr<Image> Image::imageNamedInBundle(const std::string& name, const Bundle& bundle) {
    auto path = bundle.pathForResource(name + ".png");
    return path ? imageWithContentsOfFile(*path) : nullptr;
}

std::shared_ptr<const Bitmap> Image::bitmap() const {
    if (m_decoded || m_path.empty()) return m_bitmap;
    m_decoded = true;
    std::error_code error;
    auto size = std::filesystem::file_size(m_path, error);
    if (error || size > kMaxFileBytes) return nullptr;
    std::ifstream in(m_path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_bitmap = Bitmap::decodePNG(bytes);
    return m_bitmap;
}

}  // namespace platform
