// Big buffers that are filled once, front to back, in memory new to the process: the
// inflated tables and the columns they are read into.
//
// Where the kernel gives transparent huge pages only on request, such buffers ask for them:
// each 2 MiB block then costs one page fault instead of 512, which on some virtual machines
// is most of the time spent filling the buffer. It is only a hint; without huge pages
// nothing changes but the speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace korvel {

// Asks for huge pages for the whole 2 MiB blocks inside [data, data + bytes), before anything
// there is touched. Nothing outside the buffer is affected.
void AdviseHugePages(const void* data, std::size_t bytes);

// Buffers of at least this size are mapped on their own, 2 MiB aligned, with huge pages
// asked for; smaller ones come from the ordinary heap.
inline constexpr std::size_t kBigBufferBytes = std::size_t{1} << 20;

// ::operator new and delete for small sizes; big ones as above. `bytes` must be the same
// in both calls.
void* AllocateBuffer(std::size_t bytes);
void FreeBuffer(void* data, std::size_t bytes) noexcept;

// The allocator of the memory table's columns.
template <class T>
struct BufferAllocator {
    using value_type = T;
    BufferAllocator() = default;
    template <class U>
    BufferAllocator(const BufferAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(AllocateBuffer(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeBuffer(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const BufferAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace korvel
