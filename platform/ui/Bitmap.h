#pragma once

// Bitmap: the pixels of a PNG picture, decoded with libpng's simplified API into 8-bit RGBA
// (not premultiplied), rows top to bottom with no padding. Pictures come from the network (a
// plug-in's icon) as well as from bundles, so sizes are bounded before any pixel is decoded: a
// small file claiming a huge picture cannot make the host allocate gigabytes.

#include <memory>
#include <string_view>
#include <vector>

namespace platform {

class Bitmap {
public:
    // The longest side accepted, in pixels (icons and window pictures are far smaller).
    static constexpr unsigned kMaxSide = 4096;

    // The decoded picture, or none when the bytes are no PNG, are broken or too large.
    static std::shared_ptr<const Bitmap> decodePNG(std::string_view bytes);

    unsigned width() const { return m_width; }
    unsigned height() const { return m_height; }
    size_t stride() const { return size_t{m_width} * 4; }
    // width × height pixels of R, G, B, A bytes.
    const std::vector<unsigned char>& rgba() const { return m_rgba; }

    Bitmap(unsigned width, unsigned height, std::vector<unsigned char> rgba)
        : m_width(width), m_height(height), m_rgba(std::move(rgba)) {}

private:
    unsigned m_width;
    unsigned m_height;
    std::vector<unsigned char> m_rgba;
};

}  // namespace platform
