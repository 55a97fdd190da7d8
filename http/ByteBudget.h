#pragma once

#include <atomic>
#include <cstddef>
#include <string>

// A number of bytes that several downloads draw on together: the downloads of one login take
// the bytes they receive from it, and a download whose bytes it can no longer cover fails and
// gives back what it took, so that the others can still finish. The bytes of a response that
// arrived whole are never given back: the budget bounds what one login downloads in all.
// A budget may draw on a larger one (one feed's share of its login's budget): every byte it
// takes is taken from both. Each budget names the bound it stands for, so that a download it
// stops can say which one it passed. Safe from several threads at once.
class CByteBudget
{
public:
    // `parent`, when given, must outlive this budget. `refusal` is a string literal.
    explicit CByteBudget(std::size_t bytes, CByteBudget* parent = nullptr,
                         const char* refusal = "over the download limit of one login")
        : m_left(bytes), m_parent(parent), m_refusal(refusal)
    {}
    CByteBudget(const CByteBudget&) = delete;
    CByteBudget& operator=(const CByteBudget&) = delete;

    // Takes `bytes` when that many are left (here and in the parents) and returns null;
    // otherwise takes nothing and returns the refusal of the innermost budget with too few
    // left.
    const char* TakeOrRefuse(std::size_t bytes)
    {
        std::size_t left = m_left.load();
        do {
            if (bytes > left)
                return m_refusal;
        } while (!m_left.compare_exchange_weak(left, left - bytes));
        const char* const refusal = m_parent == nullptr ? nullptr : m_parent->TakeOrRefuse(bytes);
        if (refusal != nullptr)
            m_left += bytes;
        return refusal;
    }

    // Takes `bytes` when that many are left (here and in the parents) and returns true;
    // otherwise takes nothing.
    bool Take(std::size_t bytes) { return TakeOrRefuse(bytes) == nullptr; }

    // The bytes not taken.
    std::size_t Left() const { return m_left; }

    // The budget this one draws on at the end of its parents (itself when it has none).
    CByteBudget& Outermost() { return m_parent == nullptr ? *this : m_parent->Outermost(); }
    // Why a take this budget cannot cover fails.
    const char* Refusal() const { return m_refusal; }

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
    const char* const m_refusal;
};

// Bytes taken from a budget for as long as this object lives: declare it before what it pays
// for, so that it ends after it. Used by one thread.
class CByteCharge
{
public:
    // `budget`, when given, must outlive this object; without one every take succeeds.
    explicit CByteCharge(CByteBudget* budget) : m_budget(budget) {}
    ~CByteCharge()
    {
        if (m_budget != nullptr)
            m_budget->Give(m_bytes);
    }
    CByteCharge(const CByteCharge&) = delete;
    CByteCharge& operator=(const CByteCharge&) = delete;

    // Takes `bytes` more when the budget has them; false (nothing taken) when it has not.
    bool Take(std::size_t bytes)
    {
        if (m_budget == nullptr)
            return true;
        if (!m_budget->Take(bytes))
            return false;
        m_bytes += bytes;
        return true;
    }

    // GrowWithinBudget for a text this charge pays for while it lives.
    const char* Grow(std::string& text, std::size_t bytes, std::size_t minBytes,
                     std::size_t maxBytes);

private:
    CByteBudget* const m_budget;
    std::size_t m_bytes = 0;
};

// Makes room in `text` for `bytes` in all, as a string that grows by doubling would (from
// `minBytes`, never past `maxBytes`, which must not be below `bytes`). With a budget, what
// the capacity grows by is taken from it before it grows and added to `taken`: the budget
// then covers what a growing text really holds, not only its length. Returns null, or the
// refusal of the budget that could not cover the growth (the text is left as it was). When
// the growth throws for want of memory, what was taken for it is in `taken` already. Used by
// one thread.
const char* GrowWithinBudget(std::string& text, std::size_t bytes, std::size_t minBytes,
                             std::size_t maxBytes, CByteBudget* budget, std::size_t& taken);
