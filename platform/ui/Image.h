#pragma once

// Image: a picture read from a file (NSImage). The headless toolkit keeps the file's path and
// the picture's size in pixels; front ends show the name. PNG files are read with libpng, which
// checks the signature and header; anything else is no image.

#include <filesystem>
#include <memory>

#include "platform/foundation/Object.h"

namespace platform {

class Image : public Object {
public:
    // The image in `path`, or none when the file cannot be read or is no picture.
    static std::shared_ptr<Image> imageWithContentsOfFile(const std::filesystem::path& path);

    const std::filesystem::path& path() const { return m_path; }
    unsigned pixelWidth() const { return m_width; }
    unsigned pixelHeight() const { return m_height; }

    Image(std::filesystem::path path, unsigned width, unsigned height)
        : m_path(std::move(path)), m_width(width), m_height(height) {}

private:
    std::filesystem::path m_path;
    unsigned m_width;
    unsigned m_height;
};

}  // namespace platform
