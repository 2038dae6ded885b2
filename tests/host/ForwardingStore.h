#pragma once

// ForwardingStore: a store that passes every call to a real one, for tests that break one step
// the way a server going away would (a commit cut, a save refused as unreachable) while
// everything else reaches the real database. Override the steps to break.

#include <memory>
#include <string>

#include "host/database/store/Store.h"

namespace hosttest {

class ForwardingStore : public host::Store {
public:
    explicit ForwardingStore(std::shared_ptr<host::Store> real) : m_real(std::move(real)) {}

    std::string displayName() const override { return m_real->displayName(); }
    bool isReadOnly() const override { return m_real->isReadOnly(); }
    const host::SqlDialect& dialect() const override { return m_real->dialect(); }
    platform::Status fetch(const host::EntityDescription& e, const host::Qualifier& q,
                           const RowVisitor& v) override {
        return m_real->fetch(e, q, v);
    }
    platform::Status fetchKeys(const host::EntityDescription& e, const host::Qualifier& q,
                               const KeyVisitor& v) override {
        return m_real->fetchKeys(e, q, v);
    }
    platform::Result<int64_t> count(const host::EntityDescription& e, const host::Qualifier& q) override {
        return m_real->count(e, q);
    }
    platform::Result<bool> fetchByKey(const host::EntityDescription& e, int64_t k,
                                      const RowVisitor& v) override {
        return m_real->fetchByKey(e, k, v);
    }
    platform::Status fetchMembers(const host::EntityDescription& o, size_t r, int64_t k,
                                  const RowVisitor& v) override {
        return m_real->fetchMembers(o, r, k, v);
    }
    platform::Status beginSave() override { return m_real->beginSave(); }
    platform::Result<std::vector<int64_t>> allocateKeys(const host::EntityDescription& e, size_t n) override {
        return m_real->allocateKeys(e, n);
    }
    platform::Status insertRecord(const host::EntityDescription& e, int64_t k,
                                  const std::vector<platform::Value>& v) override {
        return m_real->insertRecord(e, k, v);
    }
    platform::Status updateRecord(const host::EntityDescription& e, int64_t k,
                                  const std::vector<platform::Value>& v) override {
        return m_real->updateRecord(e, k, v);
    }
    platform::Status deleteRecord(const host::EntityDescription& e, int64_t k) override {
        return m_real->deleteRecord(e, k);
    }
    platform::Status lockForSave(std::string_view name) override { return m_real->lockForSave(name); }
    platform::Status commitSave() override { return m_real->commitSave(); }
    void abandonSave() override { m_real->abandonSave(); }
    platform::Result<bool> lastSaveOutcome() override { return m_real->lastSaveOutcome(); }
    platform::Result<std::optional<std::string>> setting(int64_t owner, std::string_view key) override {
        return m_real->setting(owner, key);
    }
    platform::Status setSetting(int64_t owner, std::string_view key,
                                const std::optional<std::string>& json) override {
        return m_real->setSetting(owner, key, json);
    }
    platform::Result<bool> compareAndSetSetting(int64_t owner, std::string_view key,
                                                const std::optional<std::string>& expected,
                                                const std::optional<std::string>& json) override {
        return m_real->compareAndSetSetting(owner, key, expected, json);
    }

protected:
    host::Store& real() { return *m_real; }

private:
    std::shared_ptr<host::Store> m_real;
};

}  // namespace hosttest
