// ByteBuffer: a byte vector whose growth leaves the new bytes unset. Frame buffers are always
// written whole before they are read, so zero-filling them on every frame would only cost time;
// with the capacity kept from frame to frame, stepping through frames of one size neither
// allocates nor clears. Qt-free.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace velmora {

// An allocator that default-initialises (for bytes: leaves unset) instead of value-initialising.
template <typename T> struct UninitialisedAllocator : std::allocator<T> {
    template <typename U> struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept { }
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using ByteBuffer = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

} // namespace velmora
