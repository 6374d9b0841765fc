// An allocator that overwrites memory with zeros before freeing it. Request
// bodies carry passwords; every host buffer that may have held body bytes
// uses it (or is wiped explicitly) so that no password survives in freed
// memory.
#pragma once

#include <string.h>

#include <cstddef>
#include <new>

template <class T>
struct CWipingAllocator {
  using value_type = T;

  CWipingAllocator() noexcept = default;
  template <class U>
  CWipingAllocator(const CWipingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept {
    explicit_bzero(p, n * sizeof(T));
    ::operator delete(p);
  }

  template <class U>
  bool operator==(const CWipingAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const CWipingAllocator<U>&) const noexcept {
    return false;
  }
};
