#pragma once
// A bounded first-in first-out store: once full, every push drops the oldest
// element. Storage grows with use up to the capacity and never beyond, so a
// store that is rarely filled costs little and a long shift cannot grow it.

#include <cstddef>
#include <vector>

template <typename T>
class RingBuffer
{
public:
    explicit RingBuffer(std::size_t capacity = 0) : m_capacity(capacity) {}

    std::size_t capacity() const { return m_capacity; }
    std::size_t size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    bool isFull() const { return m_size == m_capacity; }

    // Shrinking drops the oldest elements that no longer fit.
    void setCapacity(std::size_t capacity)
    {
        if (capacity == m_capacity)
            return;
        std::vector<T> kept;
        const std::size_t n = m_size < capacity ? m_size : capacity;
        kept.reserve(n);
        for (std::size_t i = m_size - n; i < m_size; ++i)
            kept.push_back(at(i));
        m_data.swap(kept);
        m_data.shrink_to_fit();
        m_capacity = capacity;
        m_head = 0;
        m_size = n;
    }

    void push(const T &value)
    {
        if (m_capacity == 0)
            return;
        if (m_data.size() < m_capacity) {
            // Still growing: the elements sit in order from index 0. The
            // storage doubles but never passes the capacity.
            if (m_data.capacity() == m_data.size()) {
                const std::size_t want = m_data.size() < 8 ? 16 : m_data.size() * 2;
                m_data.reserve(want < m_capacity ? want : m_capacity);
            }
            m_data.push_back(value);
            ++m_size;
            return;
        }
        // Full: the oldest element's slot takes the new one.
        m_data[m_head] = value;
        m_head = (m_head + 1) % m_capacity;
    }

    // i = 0 is the oldest element, size() - 1 the newest.
    const T &at(std::size_t i) const { return m_data[(m_head + i) % m_data.size()]; }
    const T &front() const { return at(0); }
    const T &back() const { return at(m_size - 1); }

    // Forgets the elements and gives their storage back.
    void clear()
    {
        std::vector<T>().swap(m_data);
        m_head = 0;
        m_size = 0;
    }

    // Bytes held for elements (what the store costs in memory).
    std::size_t bytesReserved() const { return m_data.capacity() * sizeof(T); }

private:
    std::vector<T> m_data;
    std::size_t m_capacity;
    std::size_t m_head = 0;     // index of the oldest element once wrapped
    std::size_t m_size = 0;
};
