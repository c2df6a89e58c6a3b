#include "data/huge_pages.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace korvel {
namespace {

constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;

std::size_t RoundUp(std::size_t bytes) {
    return (bytes + kHuge - 1) & ~(kHuge - 1);
}

}  // namespace

void AdviseHugePages([[maybe_unused]] const void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (at + bytes) & ~(kHuge - 1);
    if (data != nullptr && end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
}

void* AllocateBuffer(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kBigBufferBytes) {
        // Map 2 MiB more than needed and give back the ends, so that the buffer starts on a
        // block boundary and every block of it can be a huge page.
        const std::size_t size = RoundUp(bytes);
        void* raw =
            mmap(nullptr, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) throw std::bad_alloc();
        const auto at = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
        if (begin > at) munmap(raw, begin - at);
        const std::uintptr_t end = begin + size;
        if (at + size + kHuge > end) munmap(reinterpret_cast<void*>(end), at + size + kHuge - end);
        madvise(reinterpret_cast<void*>(begin), size, MADV_HUGEPAGE);
        return reinterpret_cast<void*>(begin);
    }
#endif
    return ::operator new(bytes);
}

void FreeBuffer(void* data, std::size_t bytes) noexcept {
    if (data == nullptr) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kBigBufferBytes) {
        munmap(data, RoundUp(bytes));
        return;
    }
#endif
    ::operator delete(data);
}

}  // namespace korvel
