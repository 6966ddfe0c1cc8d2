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
// Gives the system back what lies beyond the first `keep` bytes of a block of
// `bytes` from allocateLarge, where it can; returns the size to pass to
// freeLarge for the block from then on.
std::size_t trimLarge(void* memory, std::size_t bytes, std::size_t keep) noexcept;
// Gives the system back the whole pages within bytes [from, to) of a block
// of `bytes` from allocateLarge, where it can; they read as zero after.
void releaseLarge(void* memory, std::size_t bytes, std::size_t from, std::size_t to) noexcept;

// Room for up to `bytes` that takes memory only where it is written: the
// system's pages, each given when first touched and never as a huge page
// (which would take 2 MiB at its first byte), so a region mostly left empty
// stays small. Contents are undefined until written; nullptr if refused.
// Small regions come from the heap.
void* reserveSparse(std::size_t bytes);
void releaseSparse(void* memory, std::size_t bytes) noexcept;

// An array of trivial values over reserveSparse, owned and movable.
template <class T>
class SparseArray {
public:
    SparseArray() = default;
    explicit SparseArray(std::size_t count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        data_ = static_cast<T*>(reserveSparse(count * sizeof(T)));
        if (!data_)
            throw std::bad_alloc();
        count_ = count;
    }
    SparseArray(SparseArray&& other) noexcept { swap(other); }
    SparseArray& operator=(SparseArray&& other) noexcept
    {
        SparseArray(std::move(other)).swap(*this);
        return *this;
    }
    ~SparseArray() { releaseSparse(data_, count_ * sizeof(T)); }
    void swap(SparseArray& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(count_, other.count_);
    }
    T* data() { return data_; }
    const T* data() const { return data_; }
    std::size_t size() const { return count_; }

private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

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
