#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace platform {

// Memory for large pixel and coefficient arrays: blocks of a few megabytes or
// more come zero-filled straight from the system, marked for transparent huge
// pages (far fewer page faults on first touch); smaller ones from the heap.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* memory, std::size_t bytes) noexcept;

// A standard allocator over allocateLarge, for std::vector. Since its memory
// always arrives zero-filled, new elements are left as they are rather than
// written again: a vector of numbers made with size n holds n zeros.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        void* memory = allocateLarge(n * sizeof(T));
        if (!memory)
            throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* p, std::size_t n) noexcept { freeLarge(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept
    {
        return true;
    }
};

} // namespace platform
