#pragma once

#include <cstddef>
#include <string>

// What blocks of the heap cost, for bounds on memory estimated before it is taken.

// The heap memory one allocation of `bytes` takes: the allocators of the systems built for
// keep up to two pointers of bookkeeping beside each block and round blocks up to that size.
constexpr std::size_t AllocatedBytes(std::size_t bytes)
{
    constexpr std::size_t unit = 2 * sizeof(void*);
    return (bytes + unit + unit - 1) / unit * unit;
}

// The heap memory a string holds beyond its own object: none while its text fits inside it.
inline std::size_t StringHeapBytes(const std::string& text)
{
    return text.capacity() > std::string().capacity() ? AllocatedBytes(text.capacity() + 1) : 0;
}
