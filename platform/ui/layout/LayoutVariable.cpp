#include "platform/ui/layout/LayoutVariable.h"

namespace platform {

LayoutVariable::LayoutVariable(std::string name) : m_data(std::make_shared<Data>()) {
    m_data->name = std::move(name);
}

}  // namespace platform
