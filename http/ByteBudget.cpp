#include "http/ByteBudget.h"

#include <algorithm>

const char* GrowWithinBudget(std::string& text, std::size_t bytes, std::size_t minBytes,
                             std::size_t maxBytes, CByteBudget* budget, std::size_t& taken)
{
    // A text short enough to fit inside the string object holds no heap memory.
    const std::size_t capacity = text.capacity() > std::string().capacity() ? text.capacity() : 0;
    if (bytes <= capacity)
        return nullptr;
    const std::size_t grown = std::min(std::max({2 * capacity, bytes, minBytes}), maxBytes);
    if (budget != nullptr) {
        if (const char* refusal = budget->TakeOrRefuse(grown - capacity))
            return refusal;
        taken += grown - capacity;
    }
    // Reserved in an empty string, the capacity is exactly what was asked for; a string with
    // text of its own may round it up.
    std::string room;
    room.reserve(grown);
    room.append(text);
    text.swap(room);
    return nullptr;
}

const char* CByteCharge::Grow(std::string& text, std::size_t bytes, std::size_t minBytes,
                              std::size_t maxBytes)
{
    return GrowWithinBudget(text, bytes, minBytes, maxBytes, m_budget, m_bytes);
}
