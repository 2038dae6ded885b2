#pragma once

// ImageView: shows an image. The name says which (the terminal front end prints it); the image,
// when there is one, is what a desktop front end draws.

#include <memory>
#include <string>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace platform {

class ImageView : public View {
public:
    const std::string& imageName() const { return m_imageName; }
    void setImageName(std::string name) { m_imageName = std::move(name); }
    const std::shared_ptr<Image>& image() const { return m_image; }
    // Shows `image`, named as the image calls itself (none: only the name stays).
    void setImage(std::shared_ptr<Image> image) {
        if (image) m_imageName = image->name();
        m_image = std::move(image);
    }

private:
    std::string m_imageName;
    std::shared_ptr<Image> m_image;
};

}  // namespace platform
