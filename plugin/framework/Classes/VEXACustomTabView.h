#pragma once

// KOPACustomTabView: the base of a tab that a plug-in adds to the host's object views (the views
// showing one contact, project, ...). A concrete tab derives from it, hides tabTitle() with its
// own, provides setObjectContext, and registers itself by name (ZANDREL_REGISTER_CLASS) so the
// host can create it:
//
//   class NotesTab : public KOPACustomTabView {
//   public:
//       static std::string tabTitle() { return "Notes"; }
//       void setObjectContext(const std::shared_ptr<DLPObjectContext>& context) override;
//   };
//   ZANDREL_REGISTER_CLASS(NotesTab)
//   KOPACustomTabView::registerTabViewForEntities<NotesTab>({"Contact", "Project"});
//
// The host creates the view when it shows an object of a listed entity and hands it the object
// (setModel); the tab then receives that object's context. As a container view, a tab shows
// and swaps one content view or view controller.

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "VEXAContainerView.h"
#include "host/app/DLObjectTabView.h"

class DLPObject;
class DLPObjectContext;

class KOPACustomTabView : public KOPAContainerView, public DLObjectTabContent {
public:
    using KOPAContainerView::KOPAContainerView;

    // The tab's title. Every concrete tab hides it; the base stops the program (condition "0"),
    // which registration reaches first.
    static std::string tabTitle();

    // Registers tab class T with the host for each entity, in order: tab view identifier = the
    // entity, tab identifier and view class name = T's class name, title = T::tabTitle(). An
    // empty list registers nothing.
    template <typename T>
    static void registerTabViewForEntities(const std::vector<std::string>& entities) {
        static_assert(std::is_base_of_v<KOPACustomTabView, T>,
                      "a tab view class derives from KOPACustomTabView");
        registerTabViewForEntities(entities, classNameOf(typeid(T)), [] { return T::tabTitle(); });
    }
    static void registerTabViewForEntities(const std::vector<std::string>& entities,
                                           const std::string& className,
                                           const std::function<std::string()>& tabTitle);

    // Keeps the object and hands its context (none for no object, or one that outlived its
    // context) to setObjectContext.
    void setModel(const std::shared_ptr<DLPObject>& model) override;
    const std::shared_ptr<DLPObject>& model() const { return m_model; }

    // Receives the context of each model given to the tab.
    virtual void setObjectContext(const std::shared_ptr<DLPObjectContext>& context) = 0;

    // The bare class name, as class lookup by name knows it.
    static std::string classNameOf(const std::type_info& type);

private:
    std::shared_ptr<DLPObject> m_model;
};
