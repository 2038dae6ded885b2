#pragma once

// DLMainView: the area of the main window that shows the selected part of the host; its
// "currentContentView" (readable by key) is the content view shown now, or none.

#include <memory>

#include "host/app/DLContentView.h"
#include "platform/foundation/KeyValueCoding.h"
#include "platform/ui/View.h"

class DLMainView : public platform::View, public platform::KeyValueCoding {
public:
    std::string className() const override { return "DLMainView"; }

    const std::shared_ptr<platform::View>& currentContentView() const { return m_content; }
    void setCurrentContentView(std::shared_ptr<platform::View> view);

    platform::ObjectPtr valueForKey(const std::string& key) const override;

private:
    std::shared_ptr<platform::View> m_content;
};
