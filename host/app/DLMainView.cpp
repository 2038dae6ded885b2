#include "host/app/DLMainView.h"

void DLMainView::setCurrentContentView(std::shared_ptr<platform::View> view) {
    if (m_content) m_content->removeFromSuperview();
    m_content = std::move(view);
    if (m_content) addSubview(m_content);
}

platform::ObjectPtr DLMainView::valueForKey(const std::string& key) const {
    if (key == "currentContentView") return m_content;
    throw platform::UndefinedKeyException(className(), key);
}
