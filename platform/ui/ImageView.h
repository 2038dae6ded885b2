#pragma once

// ImageView: shows an image by name (the terminal front end prints the name).

#include <string>

#include "platform/ui/View.h"

namespace platform {

class ImageView : public View {
public:
    const std::string& imageName() const { return m_imageName; }
    void setImageName(std::string name) { m_imageName = std::move(name); }

private:
    std::string m_imageName;
};

}  // namespace platform
