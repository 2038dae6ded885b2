#pragma once

// Image: a picture (NSImage), read from a file or from bytes. A file's image keeps its path and
// size in pixels and decodes its pixels when first asked (a picture is only decoded when it is
// drawn); an image made from bytes (a download) is decoded at once, so bytes that are no picture
// give no image. PNG is read with libpng; anything else is no image.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/Object.h"
#include "platform/ui/Bitmap.h"

namespace platform {

class Bundle;

class Image : public Object {
public:
    // Files larger than this are not decoded (no picture an application shows comes close).
    static constexpr size_t kMaxFileBytes = 32u << 20;

    // The image in `path`, or none when the file cannot be read or is no picture.
    static std::shared_ptr<Image> imageWithContentsOfFile(const std::filesystem::path& path);
    // The picture `bytes` hold, named `name`; none when they are no picture it can decode.
    static std::shared_ptr<Image> imageWithData(std::string_view bytes, std::string name);
    // The picture "<name>.png" among the bundle's resources (mcImageNamed:inBundle:), or none.
    static std::shared_ptr<Image> imageNamedInBundle(const std::string& name, const Bundle& bundle);

    const std::filesystem::path& path() const { return m_path; }
    // What the image is called: its file's name without extension, or the name it was made with.
    const std::string& name() const { return m_name; }
    unsigned pixelWidth() const { return m_width; }
    unsigned pixelHeight() const { return m_height; }
    // The pixels; none when the file is gone or broken by now.
    std::shared_ptr<const Bitmap> bitmap() const;

    Image(std::filesystem::path path, unsigned width, unsigned height)
        : m_path(std::move(path)), m_name(m_path.stem().string()), m_width(width), m_height(height) {}
    Image(std::string name, std::shared_ptr<const Bitmap> bitmap)
        : m_name(std::move(name)),
          m_width(bitmap->width()),
          m_height(bitmap->height()),
          m_bitmap(std::move(bitmap)) {}

private:
    std::filesystem::path m_path;
    std::string m_name;
    unsigned m_width;
    unsigned m_height;
    mutable std::shared_ptr<const Bitmap> m_bitmap;
    mutable bool m_decoded = false;
};

}  // namespace platform
