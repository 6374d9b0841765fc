// An allocator for buffers that hold request bodies, which carry passwords:
// pages of their own, left out of core dumps and overwritten with zeros
// before they are freed. Every host buffer that may have held body bytes
// uses it (or is wiped explicitly) so that no password survives in freed
// memory.
#pragma once

#include <cstddef>
#include <new>

#include "platform/base/heap.h"

template <class T>
struct CWipingAllocator {
  using value_type = T;

  CWipingAllocator() noexcept = default;
  template <class U>
  CWipingAllocator(const CWipingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    void* pv = n <= ~SIZE_T{0} / sizeof(T) ? platform::AllocateSecretPages(n * sizeof(T)) : nullptr;
    if (pv == nullptr) throw std::bad_alloc();
    return static_cast<T*>(pv);
  }
  void deallocate(T* p, std::size_t n) noexcept { platform::FreeSecretPages(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const CWipingAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const CWipingAllocator<U>&) const noexcept {
    return false;
  }
};
