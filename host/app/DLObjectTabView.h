#pragma once

// DLObjectTabView: the tabbed view that shows one database object (one contact, one project...).
// Besides its own "Details" tab it offers the tabs that plug-ins registered for its tab view
// identifier (the entity it shows): registerTabForTabViewIdentifier names a view class, and
// each time the view is given an object it creates that class by name (ClassRegistry), adds
// the view as the tab's content and hands it the object with setModel (DLObjectTabContent).
//
// A registered class that is not loaded, cannot be created, or is no view taking a model gives
// no tab, and a log line names it; the other tabs are shown as usual.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/View.h"

class DLPObject;

// What a registered tab view class must offer: taking the object the tab shows.
class DLObjectTabContent {
public:
    virtual ~DLObjectTabContent() = default;
    virtual void setModel(const std::shared_ptr<DLPObject>& model) = 0;
};

struct DLObjectTabRegistration {
    std::string tabViewIdentifier;
    std::string tabIdentifier;
    std::string title;
    std::string viewClassName;
    friend bool operator==(const DLObjectTabRegistration&, const DLObjectTabRegistration&) = default;
};

class DLObjectTabView : public platform::View {
public:
    static constexpr const char* kDetailsTabIdentifier = "details";

    // Makes the tab known for object views of `tabViewIdentifier`. Registering the same tab
    // identifier for the same tab view again replaces the earlier entry (keeping its place).
    // False, nothing registered, when any argument is empty.
    static bool registerTabForTabViewIdentifier(const std::string& tabViewIdentifier,
                                                const std::string& tabIdentifier, const std::string& title,
                                                const std::string& viewClassName);
    // Every registration so far, in order.
    static const std::vector<DLObjectTabRegistration>& registrations();
    static void resetRegistrationsForTesting();

    struct Tab {
        std::string identifier;
        std::string title;
        std::shared_ptr<platform::View> view;
    };

    explicit DLObjectTabView(std::string tabViewIdentifier)
        : m_tabViewIdentifier(std::move(tabViewIdentifier)) {}
    std::string className() const override { return "DLObjectTabView"; }

    const std::string& tabViewIdentifier() const { return m_tabViewIdentifier; }
    // Shows `object`: rebuilds the tabs (details first, then the registered ones in order).
    void setObject(const std::shared_ptr<DLPObject>& object);
    const std::shared_ptr<DLPObject>& object() const { return m_object; }
    const std::vector<Tab>& tabs() const { return m_tabs; }
    // The content view of the tab, or none.
    std::shared_ptr<platform::View> viewForTab(const std::string& tabIdentifier) const;

private:
    std::string m_tabViewIdentifier;
    std::shared_ptr<DLPObject> m_object;
    std::vector<Tab> m_tabs;
};
