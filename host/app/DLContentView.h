#pragma once

// DLContentView: what the main window shows for one area of the host -- the calendar, or the
// list of one kind of record beside its detail. Its class name says which ("DLCalendarContentView",
// "DLMWDualListContactContentView", ...), as the host's own content view classes do; plug-ins
// that reach into the host tell them apart by that name.
//
// Properties by key: the calendar has "listView" (its list, whose "tabView" slide-overs attach
// to); a dual list has "currentListDetailView" (the detail view of the selected list, a DLListView
// unless set otherwise).

#include <memory>
#include <string>

#include "host/app/DLListView.h"
#include "platform/foundation/KeyValueCoding.h"
#include "platform/ui/View.h"

class DLContentView : public platform::View, public platform::KeyValueCoding {
public:
    // "DLCalendarContentView".
    static std::shared_ptr<DLContentView> makeCalendar();
    // A dual list of `kind` records: "Contact" gives "DLMWDualListContactContentView"; an empty
    // kind gives the general "DLMWDualListContentView".
    static std::shared_ptr<DLContentView> makeDualList(const std::string& kind);

    explicit DLContentView(std::string className) : m_className(std::move(className)) {}
    std::string className() const override { return m_className; }

    const std::shared_ptr<DLListView>& listView() const { return m_listView; }
    const std::shared_ptr<platform::View>& currentListDetailView() const { return m_detailView; }
    void setCurrentListDetailView(std::shared_ptr<platform::View> view);

    platform::ObjectPtr valueForKey(const std::string& key) const override;

private:
    std::string m_className;
    std::shared_ptr<DLListView> m_listView;
    std::shared_ptr<platform::View> m_detailView;
};
