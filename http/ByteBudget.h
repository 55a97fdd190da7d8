#pragma once

#include <atomic>
#include <cstddef>

// A number of bytes that several downloads draw on together: the downloads of one login take
// the bytes they receive from it, and a download whose bytes it can no longer cover fails and
// gives back what it took, so that the others can still finish. The bytes of a response that
// arrived whole are never given back: the budget bounds what one login downloads in all.
// A budget may draw on a larger one (one feed's share of its login's budget): every byte it
// takes is taken from both. Safe from several threads at once.
class CByteBudget
{
public:
    // `parent`, when given, must outlive this budget.
    explicit CByteBudget(std::size_t bytes, CByteBudget* parent = nullptr)
        : m_left(bytes), m_parent(parent)
    {}
    CByteBudget(const CByteBudget&) = delete;
    CByteBudget& operator=(const CByteBudget&) = delete;

    // Takes `bytes` when that many are left (here and in the parent) and returns true;
    // otherwise takes nothing.
    bool Take(std::size_t bytes)
    {
        std::size_t left = m_left.load();
        do {
            if (bytes > left)
                return false;
        } while (!m_left.compare_exchange_weak(left, left - bytes));
        if (m_parent == nullptr || m_parent->Take(bytes))
            return true;
        m_left += bytes;
        return false;
    }

    // The bytes not taken.
    std::size_t Left() const { return m_left; }

    // Gives back `bytes` taken before.
    void Give(std::size_t bytes)
    {
        m_left += bytes;
        if (m_parent != nullptr)
            m_parent->Give(bytes);
    }

private:
    std::atomic<std::size_t> m_left;
    CByteBudget* const m_parent;
};
