#include "host/app/DLObjectTabView.h"

#include <algorithm>

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/TextField.h"

namespace {
std::vector<DLObjectTabRegistration>& registry() {
    static std::vector<DLObjectTabRegistration> entries;
    return entries;
}
}  // namespace

bool DLObjectTabView::registerTabForTabViewIdentifier(const std::string& tabViewIdentifier,
                                                      const std::string& tabIdentifier,
                                                      const std::string& title,
                                                      const std::string& viewClassName) {
    if (tabViewIdentifier.empty() || tabIdentifier.empty() || title.empty() || viewClassName.empty()) {
        platform::Log::write(
            "DLObjectTabView: a tab needs a tab view identifier, a tab identifier, a title "
            "and a view class name; tab \"" +
            tabIdentifier + "\" not registered");
        return false;
    }
    DLObjectTabRegistration entry{tabViewIdentifier, tabIdentifier, title, viewClassName};
    auto& entries = registry();
    auto same = std::find_if(entries.begin(), entries.end(), [&](const DLObjectTabRegistration& e) {
        return e.tabViewIdentifier == tabViewIdentifier && e.tabIdentifier == tabIdentifier;
    });
    if (same != entries.end())
        *same = std::move(entry);
    else
        entries.push_back(std::move(entry));
    return true;
}

const std::vector<DLObjectTabRegistration>& DLObjectTabView::registrations() {
    return registry();
}

void DLObjectTabView::resetRegistrationsForTesting() {
    registry().clear();
}

void DLObjectTabView::setObject(const std::shared_ptr<DLPObject>& object) {
    for (auto& tab : m_tabs)
        if (tab.view) tab.view->removeFromSuperview();
    m_tabs.clear();
    m_object = object;
    if (!object) return;

    auto details = std::make_shared<platform::TextField>(object->description());
    details->setEditable(false);
    addSubview(details);
    m_tabs.push_back({kDetailsTabIdentifier, "Details", details});

    for (const auto& entry : registry()) {
        if (entry.tabViewIdentifier != m_tabViewIdentifier) continue;
        auto cls = platform::ClassRegistry::shared().classNamed(entry.viewClassName);
        auto created = cls ? cls->create() : nullptr;
        auto view = std::dynamic_pointer_cast<platform::View>(created);
        auto* content = dynamic_cast<DLObjectTabContent*>(created.get());
        if (!view || !content) {
            platform::Log::write("DLObjectTabView: no tab \"" + entry.title + "\" on " + m_tabViewIdentifier +
                                 ": the class " + entry.viewClassName +
                                 (cls ? " cannot be created as a view taking a model"
                                      : " is not loaded; load the plug-in that registered it"));
            continue;
        }
        view->setIdentifier(entry.tabIdentifier);
        addSubview(view);
        m_tabs.push_back({entry.tabIdentifier, entry.title, view});
        content->setModel(object);
    }
}

std::shared_ptr<platform::View> DLObjectTabView::viewForTab(const std::string& tabIdentifier) const {
    for (const auto& tab : m_tabs)
        if (tab.identifier == tabIdentifier) return tab.view;
    return nullptr;
}
