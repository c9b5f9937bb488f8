#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

// Values by string keys whose bytes live elsewhere and outlast the table: slots in one
// array, a key in the first free slot from where its hash points. Walks look a key up for
// every name they pass; here that is one probe or a few, and adding a key allocates
// nothing while the table has room.
namespace catalog {

template <typename Value> class KeyTable
{
public:
    // Room for that many keys without growing.
    explicit KeyTable(std::size_t keys = 0) : m_slots(slotsFor(keys)) {}

    // The value of key, and whether it was added (as value) or was there.
    std::pair<Value*, bool> tryEmplace(std::string_view key, Value value)
    {
        if (2 * (m_size + 1) > m_slots.size()) {
            grow();
        }
        const std::uint32_t hash = hashOf(key);
        Slot& slot = m_slots[slotOf(key, hash)];
        if (slot.used()) {
            return {&slot.value, false};
        }
        slot = Slot{hash, static_cast<std::uint32_t>(key.size()), key.data(), std::move(value)};
        ++m_size;
        return {&slot.value, true};
    }

    // nullptr when the table does not hold key.
    const Value* find(std::string_view key) const
    {
        const Slot& slot = m_slots[slotOf(key, hashOf(key))];
        return slot.used() ? &slot.value : nullptr;
    }

    std::size_t size() const { return m_size; }

private:
    // Small, so that a table of many keys touches few pages: its first touch of a page is
    // what a table of thousands of keys costs most.
    struct Slot
    {
        std::uint32_t hash = 0;
        std::uint32_t length = 0;
        const char* data = nullptr; // nullptr: a free slot
        Value value{};

        bool used() const { return data != nullptr; }
        std::string_view key() const { return {data, length}; }
    };

    // Keys are names and paths, far shorter than 4 GB.
    static std::uint32_t hashOf(std::string_view key)
    {
        return static_cast<std::uint32_t>(std::hash<std::string_view>()(key));
    }

    // At least twice the keys, so that a free slot is always near.
    static std::size_t slotsFor(std::size_t keys) { return std::bit_ceil(2 * keys + 2); }

    // The slot that holds key, or the free one where it would go.
    std::size_t slotOf(std::string_view key, std::uint32_t hash) const
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t at = hash & mask;
        while (m_slots[at].used() && (m_slots[at].hash != hash || m_slots[at].key() != key)) {
            at = (at + 1) & mask;
        }
        return at;
    }

    void grow()
    {
        std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(2 * m_slots.size()));
        for (Slot& slot : old) {
            if (slot.used()) {
                m_slots[slotOf(slot.key(), slot.hash)] = std::move(slot);
            }
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
};

} // namespace catalog
