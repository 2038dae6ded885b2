#include "host/database/model/DLPObject.h"

#include <fmt/format.h>

#include <stdexcept>

#include "host/database/model/DLPObjectContext.h"

platform::Result<platform::Value> DLPObject::valueForKey(std::string_view key) const {
    auto slot = m_entity->slot(key);
    if (!slot)
        return platform::Status::error(fmt::format("{} has no attribute \"{}\" (it has: {})", m_entity->name,
                                                   key, m_entity->attributeNames()));
    return m_values[*slot];
}

platform::Status DLPObject::setValueForKey(const platform::Value& value, std::string_view key) {
    auto slot = m_entity->slot(key);
    if (!slot)
        return platform::Status::error(fmt::format("{} has no attribute \"{}\" (it has: {})", m_entity->name,
                                                   key, m_entity->attributeNames()));
    if (m_entity->attributes[*slot].maintainedByRelation)
        return platform::Status::error(fmt::format(
            "{}.{} is kept by the {} relation; add the object to it instead", m_entity->name, key,
            m_entity->owner ? m_entity->owner->toMany[m_entity->ownerRelation].name : std::string("owning")));
    return store(*slot, value);
}

size_t DLPObject::slotOf(std::string_view name) const {
    auto slot = m_entity->slot(name);
    if (!slot) throw std::logic_error(fmt::format("{} has no attribute \"{}\"", m_entity->name, name));
    return *slot;
}

const platform::Value& DLPObject::attribute(std::string_view name) const {
    return m_values[slotOf(name)];
}

void DLPObject::setAttribute(std::string_view name, const platform::Value& value) {
    setAttributeAt(slotOf(name), value);
}

void DLPObject::setAttributeAt(size_t slot, const platform::Value& value) {
    if (auto status = store(slot, value); !status) throw std::invalid_argument(status.message());
}

platform::Status DLPObject::store(size_t slot, const platform::Value& value) {
    auto coerced = host::coerceAttributeValue(*m_entity, slot, value);
    if (!coerced) return coerced.status();
    if (m_values[slot] == *coerced && m_values[slot].type() == coerced->type()) return platform::Status::ok();
    m_values[slot] = std::move(*coerced);
    markUpdated();
    return platform::Status::ok();
}

void DLPObject::markUpdated() {
    if (m_state != State::Clean) {
        // Already pending; the context still hears of the edit (see DLPObjectContext::noteEdit).
        if (auto context = m_context.lock()) context->noteEdit();
        return;
    }
    m_state = State::Updated;
    if (auto context = m_context.lock()) context->queueChange(*this);
}

platform::Result<std::vector<std::shared_ptr<DLPObject>>> DLPObject::relationMembers(
    std::string_view relation) {
    auto index = m_entity->relationIndex(relation);
    if (!index) throw std::logic_error(fmt::format("{} has no relation \"{}\"", m_entity->name, relation));
    if (!m_relations[*index].loaded) {
        auto context = m_context.lock();
        if (!context)
            return platform::Status::error(
                fmt::format("{} {}: its object context is gone", m_entity->name, m_key));
        if (auto status = context->loadRelation(*this, *index); !status) return status;
    }
    return m_relations[*index].members;
}

platform::Status DLPObject::addToRelation(std::string_view relation,
                                          const std::shared_ptr<DLPObject>& member) {
    auto index = m_entity->relationIndex(relation);
    if (!index) throw std::logic_error(fmt::format("{} has no relation \"{}\"", m_entity->name, relation));
    auto context = m_context.lock();
    if (!context)
        return platform::Status::error(
            fmt::format("{} {}: its object context is gone", m_entity->name, m_key));
    return context->addToRelation(*this, *index, member);
}

std::string DLPObject::className() const {
    return platform::Object::className();
}

std::string DLPObject::description() const {
    std::string text = fmt::format("<{} {}", m_entity->name, m_key);
    if (auto slot = m_entity->slot("name"); slot && !m_values[*slot].isNull())
        text += " name=" + m_values[*slot].toJson();
    return text + ">";
}
