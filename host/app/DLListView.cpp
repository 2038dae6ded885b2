#include "host/app/DLListView.h"

DLListView::DLListView() : m_tabView(std::make_shared<DLTabView>()) {
    addSubview(m_tabView);
}

platform::ObjectPtr DLListView::valueForKey(const std::string& key) const {
    if (key == "tabView") return m_tabView;
    throw platform::UndefinedKeyException(className(), key);
}
