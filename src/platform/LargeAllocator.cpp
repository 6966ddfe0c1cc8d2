// Memory for large surfaces and coefficient stores: pages from the system, refused cleanly when none are left.
#include "LargeAllocator.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <sys/mman.h>

namespace platform {

namespace {
constexpr std::size_t kLarge = std::size_t{4} << 20;
}

void* allocateLarge(std::size_t bytes)
{
    if (bytes < kLarge)
        return std::calloc(bytes == 0 ? 1 : bytes, 1);
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    ::madvise(memory, bytes, MADV_HUGEPAGE); // a hint; fine if refused
    return memory;
}

void freeLarge(void* memory, std::size_t bytes) noexcept
{
    if (!memory)
        return;
    if (bytes < kLarge)
        std::free(memory);
    else
        ::munmap(memory, bytes);
}

std::size_t trimLarge(void* memory, std::size_t bytes, std::size_t keep) noexcept
{
    if (!memory || bytes < kLarge || keep >= bytes)
        return bytes; // heap blocks keep their size
    // Whole pages only, and never below the size that tells freeLarge the
    // block is mapped.
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t kept = std::max((keep + page - 1) / page * page, kLarge);
    if (kept >= bytes)
        return bytes;
    ::munmap(static_cast<char*>(memory) + kept, bytes - kept);
    return kept;
}

void releaseLarge(void* memory, std::size_t bytes, std::size_t from, std::size_t to) noexcept
{
    if (!memory || bytes < kLarge)
        return; // heap blocks share their pages with others
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t start = (from + page - 1) / page * page;
    const std::size_t end = std::min(to, bytes) / page * page;
    if (start < end)
        ::madvise(static_cast<char*>(memory) + start, end - start, MADV_DONTNEED);
}

void* reserveSparse(std::size_t bytes)
{
    if (bytes < kLarge)
        return std::malloc(bytes == 0 ? 1 : bytes);
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    ::madvise(memory, bytes, MADV_NOHUGEPAGE);
    return memory;
}

void releaseSparse(void* memory, std::size_t bytes) noexcept
{
    freeLarge(memory, bytes);
}

} // namespace platform
