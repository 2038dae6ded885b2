#include "host/app/DLContentView.h"

std::shared_ptr<DLContentView> DLContentView::makeCalendar() {
    auto view = std::make_shared<DLContentView>("DLCalendarContentView");
    view->m_listView = std::make_shared<DLListView>();
    view->addSubview(view->m_listView);
    return view;
}

std::shared_ptr<DLContentView> DLContentView::makeDualList(const std::string& kind) {
    auto view = std::make_shared<DLContentView>("DLMWDualList" + kind + "ContentView");
    view->setCurrentListDetailView(std::make_shared<DLListView>());
    return view;
}

void DLContentView::setCurrentListDetailView(std::shared_ptr<platform::View> view) {
    if (m_detailView) m_detailView->removeFromSuperview();
    m_detailView = std::move(view);
    if (m_detailView) addSubview(m_detailView);
}

platform::ObjectPtr DLContentView::valueForKey(const std::string& key) const {
    if (key == "listView" && m_listView) return m_listView;
    if (key == "currentListDetailView" && !m_listView) return m_detailView;
    throw platform::UndefinedKeyException(className(), key);
}
