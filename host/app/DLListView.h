#pragma once

// DLListView: a list (or the detail beside a list) of the main window; it shows its records in
// a tab view, the view slide-over panels attach to. Its property "tabView" is readable by key.

#include <memory>

#include "host/app/DLTabView.h"
#include "platform/foundation/KeyValueCoding.h"
#include "platform/ui/View.h"

class DLListView : public platform::View, public platform::KeyValueCoding {
public:
    DLListView();
    std::string className() const override { return "DLListView"; }

    const std::shared_ptr<DLTabView>& tabView() const { return m_tabView; }
    platform::ObjectPtr valueForKey(const std::string& key) const override;

private:
    std::shared_ptr<DLTabView> m_tabView;
};
