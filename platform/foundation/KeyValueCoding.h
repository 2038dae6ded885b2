#pragma once

// Key-value coding: reading an object's properties by name (valueForKey:, valueForKeyPath:).
// An object that offers named properties implements KeyValueCoding; asking any object for a key
// it does not know throws UndefinedKeyException, as the toolkit raises NSUndefinedKeyException.

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/foundation/Object.h"

namespace platform {

class UndefinedKeyException : public std::runtime_error {
public:
    UndefinedKeyException(const std::string& className, const std::string& key);
    const std::string& key() const { return m_key; }

private:
    std::string m_key;
};

class KeyValueCoding {
public:
    virtual ~KeyValueCoding() = default;
    // The property named `key` (none when it is empty); throws UndefinedKeyException for a
    // key the object does not have.
    virtual ObjectPtr valueForKey(const std::string& key) const = 0;
};

// The value for `key` of any object: none for no object, UndefinedKeyException when the object
// has no such key (or no named properties at all).
ObjectPtr valueForKey(const ObjectPtr& object, const std::string& key);
// Follows a dotted path ("selectedMainView.currentContentView"); a none on the way gives none.
ObjectPtr valueForKeyPath(const ObjectPtr& object, std::string_view keyPath);

}  // namespace platform
