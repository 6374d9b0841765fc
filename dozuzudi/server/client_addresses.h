// Open connections counted per client address, so that one address cannot
// take every connection the host allows.
#pragma once

#include <array>
#include <boost/asio/ip/address.hpp>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "server/host_mutex.h"

// An address as sixteen bytes (IPv4 as its IPv6-mapped form).
using CAddressKey = std::array<uint8_t, 16>;

class CClientAddresses {
 public:
  static CAddressKey KeyOf(const boost::asio::ip::address& address);
  // Counts one more connection from |key|; false (and not counted) when
  // that address already has |nMax|.
  bool Take(const CAddressKey& key, size_t nMax) EXCLUDES(m_lock);
  void Release(const CAddressKey& key) EXCLUDES(m_lock);

 private:
  struct CHash {
    size_t operator()(const CAddressKey& key) const;
  };
  CMutex m_lock;
  std::unordered_map<CAddressKey, size_t, CHash> m_counts GUARDED_BY(m_lock);
};
