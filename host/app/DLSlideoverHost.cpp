#include "host/app/DLSlideoverHost.h"

#include "platform/ui/View.h"

std::shared_ptr<platform::View> mcFirstEnclosingSlideoverHost(platform::View& view) {
    for (platform::View* v = &view; v; v = v->superview())
        if (dynamic_cast<DLSlideoverHost*>(v)) return v->sharedAs<platform::View>();
    return nullptr;
}
