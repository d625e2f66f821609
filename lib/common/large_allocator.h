// Storage for arrays of megabytes, such as suffix arrays.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "common/large_pages.h"

namespace quarnel {

// Allocates blocks of 2 MiB and more aligned to 2 MiB and advised for large pages.
template <class T>
class LargeAllocator {
public:
    using value_type = T;
    static constexpr size_t largePage = largePageSize;

    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U> &) noexcept
    {
    }

    T *allocate(size_t count)
    {
        const size_t bytes = count * sizeof(T);
        if (bytes < largePage)
            return static_cast<T *>(::operator new(bytes));
        void *block = ::operator new(bytes, std::align_val_t(largePage));
        adviseLargePages(block, bytes);
        return static_cast<T *>(block);
    }

    void deallocate(T *block, size_t count) noexcept
    {
        if (count * sizeof(T) < largePage)
            ::operator delete(block);
        else
            ::operator delete(block, std::align_val_t(largePage));
    }
};

template <class T, class U>
bool operator==(const LargeAllocator<T> &, const LargeAllocator<U> &)
{
    return true;
}

template <class T, class U>
bool operator!=(const LargeAllocator<T> &, const LargeAllocator<U> &)
{
    return false;
}

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

} // namespace quarnel
