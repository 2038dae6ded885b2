#include "VEXACustomTabView.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>

#include "host/database/model/DLPObject.h"
#include "plugin/framework/Classes/VEXAAssertion.h"

std::string KOPACustomTabView::tabTitle() {
    // A tab class without a title of its own is a programming error: say so, then stop.
    KOPAAssertionFailure(__FILE__, __LINE__, "0");
}

void KOPACustomTabView::registerTabViewForEntities(const std::vector<std::string>& entities,
                                                   const std::string& className,
                                                   const std::function<std::string()>& tabTitle) {
    for (const auto& entity : entities)
        DLObjectTabView::registerTabForTabViewIdentifier(entity, className, tabTitle(), className);
}

void KOPACustomTabView::setModel(const std::shared_ptr<DLPObject>& model) {
    m_model = model;
    setObjectContext(model ? model->objectContext() : nullptr);
}

std::string KOPACustomTabView::classNameOf(const std::type_info& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    if (auto pos = name.rfind("::"); pos != std::string::npos) name.erase(0, pos + 2);
    return name;
}
