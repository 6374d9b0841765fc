#include "server/client_addresses.h"

#include <cstring>

CAddressKey CClientAddresses::KeyOf(const boost::asio::ip::address& address) {
  auto v6 = address.is_v4()
                ? boost::asio::ip::make_address_v6(boost::asio::ip::v4_mapped, address.to_v4())
                : address.to_v6();
  auto bytes = v6.to_bytes();
  CAddressKey key;
  std::memcpy(key.data(), bytes.data(), key.size());
  return key;
}

size_t CClientAddresses::CHash::operator()(const CAddressKey& key) const {
  uint64_t a, b;
  std::memcpy(&a, key.data(), 8);
  std::memcpy(&b, key.data() + 8, 8);
  return static_cast<size_t>((a * 0x9E3779B97F4A7C15ull) ^ b ^ (b >> 29));
}

bool CClientAddresses::Take(const CAddressKey& key, size_t nMax) {
  CMutexLock guard(&m_lock);
  size_t& n = m_counts[key];
  if (n >= nMax) {
    if (n == 0) m_counts.erase(key);
    return false;
  }
  ++n;
  return true;
}

void CClientAddresses::Release(const CAddressKey& key) {
  CMutexLock guard(&m_lock);
  auto it = m_counts.find(key);
  if (it == m_counts.end()) return;
  if (--it->second == 0) m_counts.erase(it);
}
