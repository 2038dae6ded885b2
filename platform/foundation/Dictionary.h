#pragma once

// BasicDictionary: the dictionary type of platform::Value (platform::Dictionary), kept apart so
// that code which only handles entries needs no Value internals.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace platform {

// Dictionary: text keys to values, kept as one array of entries sorted by key. Documents hold
// many small dictionaries; one block per dictionary (instead of one per entry) makes building
// and freeing them cheap, and lookups are binary searches. The interface is std::map's, with
// two differences:
//   - an insertion or erasure moves entries, so it invalidates iterators, pointers and
//     references into the dictionary (as a vector's would);
//   - Dictionary(Entries) takes entries in any order and sorts them once (the last of equal
//     keys wins), which is how builders of large dictionaries avoid one shifting insertion per
//     key.
template <typename V>
class BasicDictionary {
public:
    using key_type = std::string;
    using mapped_type = V;
    using value_type = std::pair<std::string, V>;
    using Entries = std::vector<value_type>;
    using size_type = size_t;
    using difference_type = ptrdiff_t;
    using iterator = typename Entries::iterator;
    using const_iterator = typename Entries::const_iterator;
    using reverse_iterator = typename Entries::reverse_iterator;
    using const_reverse_iterator = typename Entries::const_reverse_iterator;

    BasicDictionary() = default;
    // As std::map: of equal keys the first one stays.
    BasicDictionary(std::initializer_list<value_type> entries) : m_entries(entries) { normalize(false); }
    template <typename InputIt>
    BasicDictionary(InputIt first, InputIt last) : m_entries(first, last) {
        normalize(false);
    }
    // Collect-then-sort construction: O(n log n) for any order; of equal keys the last one stays.
    explicit BasicDictionary(Entries entries) : m_entries(std::move(entries)) { normalize(true); }
    // For builders that already hold the entries sorted by key, each key once: taken as they are
    // (checked in debug builds only).
    struct SortedUnique {};
    BasicDictionary(SortedUnique, Entries entries) : m_entries(std::move(entries)) {
        assert(std::adjacent_find(m_entries.begin(), m_entries.end(),
                                  [](const value_type& a, const value_type& b) {
                                      return !(a.first < b.first);
                                  }) == m_entries.end());
    }

    iterator begin() noexcept { return m_entries.begin(); }
    iterator end() noexcept { return m_entries.end(); }
    const_iterator begin() const noexcept { return m_entries.begin(); }
    const_iterator end() const noexcept { return m_entries.end(); }
    const_iterator cbegin() const noexcept { return m_entries.cbegin(); }
    const_iterator cend() const noexcept { return m_entries.cend(); }
    reverse_iterator rbegin() noexcept { return m_entries.rbegin(); }
    reverse_iterator rend() noexcept { return m_entries.rend(); }
    const_reverse_iterator rbegin() const noexcept { return m_entries.rbegin(); }
    const_reverse_iterator rend() const noexcept { return m_entries.rend(); }

    size_t size() const noexcept { return m_entries.size(); }
    bool empty() const noexcept { return m_entries.empty(); }
    void clear() noexcept { m_entries.clear(); }
    void reserve(size_t n) { m_entries.reserve(n); }
    void swap(BasicDictionary& other) noexcept { m_entries.swap(other.m_entries); }

    iterator lower_bound(std::string_view key) { return begin() + lowerIndex(key); }
    const_iterator lower_bound(std::string_view key) const { return begin() + lowerIndex(key); }
    iterator find(std::string_view key) {
        const size_t i = lowerIndex(key);
        return i < m_entries.size() && m_entries[i].first == key ? begin() + i : end();
    }
    const_iterator find(std::string_view key) const {
        const size_t i = lowerIndex(key);
        return i < m_entries.size() && m_entries[i].first == key ? begin() + i : end();
    }
    size_t count(std::string_view key) const { return find(key) == end() ? 0 : 1; }
    bool contains(std::string_view key) const { return find(key) != end(); }

    V& at(std::string_view key) {
        auto it = find(key);
        if (it == end()) throw std::out_of_range("dictionary has no such key");
        return it->second;
    }
    const V& at(std::string_view key) const {
        auto it = find(key);
        if (it == end()) throw std::out_of_range("dictionary has no such key");
        return it->second;
    }

    V& operator[](std::string_view key) { return try_emplace(key).first->second; }
    V& operator[](const char* key) { return try_emplace(std::string_view(key)).first->second; }
    V& operator[](std::string&& key) { return try_emplace(std::move(key)).first->second; }

    template <typename K, typename... Args>
    std::pair<iterator, bool> try_emplace(K&& key, Args&&... args) {
        const std::string_view view(key);
        const size_t i = lowerIndex(view);
        if (i < m_entries.size() && m_entries[i].first == view) return {begin() + i, false};
        auto it = m_entries.emplace(begin() + i, std::piecewise_construct,
                                    std::forward_as_tuple(std::forward<K>(key)),
                                    std::forward_as_tuple(std::forward<Args>(args)...));
        return {it, true};
    }
    template <typename K, typename... Args>
    std::pair<iterator, bool> emplace(K&& key, Args&&... args) {
        return try_emplace(std::forward<K>(key), std::forward<Args>(args)...);
    }
    // The hint saves the search when entries arrive in key order.
    template <typename K, typename... Args>
    iterator emplace_hint(const_iterator hint, K&& key, Args&&... args) {
        const std::string_view view(key);
        if (hint == cend() && (m_entries.empty() || std::string_view(m_entries.back().first) < view)) {
            m_entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(std::forward<K>(key)),
                                   std::forward_as_tuple(std::forward<Args>(args)...));
            return end() - 1;
        }
        return try_emplace(std::forward<K>(key), std::forward<Args>(args)...).first;
    }
    template <typename K, typename M>
    std::pair<iterator, bool> insert_or_assign(K&& key, M&& value) {
        auto result = try_emplace(std::forward<K>(key));
        result.first->second = std::forward<M>(value);
        return result;
    }
    std::pair<iterator, bool> insert(const value_type& entry) {
        return try_emplace(entry.first, entry.second);
    }
    std::pair<iterator, bool> insert(value_type&& entry) {
        return try_emplace(std::move(entry.first), std::move(entry.second));
    }
    template <typename InputIt>
    void insert(InputIt first, InputIt last) {
        for (; first != last; ++first) insert(*first);
    }
    void insert(std::initializer_list<value_type> entries) { insert(entries.begin(), entries.end()); }

    iterator erase(const_iterator position) { return m_entries.erase(position); }
    iterator erase(const_iterator first, const_iterator last) { return m_entries.erase(first, last); }
    size_t erase(std::string_view key) {
        auto it = find(key);
        if (it == end()) return 0;
        m_entries.erase(it);
        return 1;
    }

    friend bool operator==(const BasicDictionary& a, const BasicDictionary& b) {
        return a.m_entries == b.m_entries;
    }

private:
    size_t lowerIndex(std::string_view key) const {
        size_t low = 0, count = m_entries.size();
        while (count > 0) {
            const size_t half = count / 2;
            if (std::string_view(m_entries[low + half].first) < key) {
                low += half + 1;
                count -= half + 1;
            } else {
                count = half;
            }
        }
        return low;
    }

    // Sorts by key, stably, and keeps one entry of each key (the first or the last).
    void normalize(bool lastWins) {
        auto less = [](const value_type& a, const value_type& b) { return a.first < b.first; };
        bool sortedAndUnique = true;
        for (size_t i = 1; i < m_entries.size() && sortedAndUnique; ++i)
            sortedAndUnique = m_entries[i - 1].first < m_entries[i].first;
        if (sortedAndUnique) return;
        if (m_entries.size() <= 32) {
            // Insertion sort: small dictionaries are the norm and need no scratch memory.
            for (size_t i = 1; i < m_entries.size(); ++i) {
                if (!less(m_entries[i], m_entries[i - 1])) continue;
                value_type moving = std::move(m_entries[i]);
                size_t j = i;
                for (; j > 0 && less(moving, m_entries[j - 1]); --j)
                    m_entries[j] = std::move(m_entries[j - 1]);
                m_entries[j] = std::move(moving);
            }
        } else {
            std::stable_sort(m_entries.begin(), m_entries.end(), less);
        }
        // Equal keys are now adjacent, in their original order.
        size_t out = 0;
        for (size_t i = 0; i < m_entries.size();) {
            size_t next = i + 1;
            while (next < m_entries.size() && m_entries[next].first == m_entries[i].first) ++next;
            const size_t keep = lastWins ? next - 1 : i;
            if (out != keep) m_entries[out] = std::move(m_entries[keep]);
            ++out;
            i = next;
        }
        m_entries.erase(m_entries.begin() + static_cast<ptrdiff_t>(out), m_entries.end());
    }

    Entries m_entries;
};

}  // namespace platform
