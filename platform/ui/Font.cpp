#include "platform/ui/Font.h"

namespace platform {

Font Font::systemFontOfSize(double pointSize) {
    return Font(kSystemFontFamily, pointSize > 0 ? pointSize : systemFontSize());
}

}  // namespace platform
