#include "admin/groups/group_name.h"

#include "platform/base/heap.h"

namespace {

WCHAR* CopyUnits(const WCHAR* pw, DWORD cw) {
  auto* pwsz = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, (static_cast<SIZE_T>(cw) + 1) * sizeof(WCHAR)));
  if (pwsz == nullptr) return nullptr;
  for (DWORD i = 0; i < cw; ++i) pwsz[i] = pw[i];
  pwsz[cw] = 0;
  return pwsz;
}

DWORD Length(const WCHAR* pwsz) {
  DWORD cw = 0;
  while (pwsz[cw] != 0) ++cw;
  return cw;
}

// The length and the units 1 and 2, weighted 1 and 2, up to the terminator.
DWORD HashText(const WCHAR* pwsz) {
  DWORD cw = Length(pwsz);
  DWORD h = cw;
  for (DWORD k = 1; k <= 2 && k < cw; ++k) h += static_cast<DWORD>(pwsz[k]) * k;
  return h;
}

bool SameText(const WCHAR* a, const WCHAR* b) {
  if (a == nullptr || b == nullptr) return a == b;
  for (; *a != 0 && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

}  // namespace

CGroupName::~CGroupName() { Free(); }

void CGroupName::Free() {
  HeapFree(GetProcessHeap(), 0, m_pwszName);
  HeapFree(GetProcessHeap(), 0, m_pwszDomain);
  m_pwszName = m_pwszDomain = nullptr;
}

bool CGroupName::Set(const WCHAR* pwName, DWORD cwName, const WCHAR* pwDomain, DWORD cwDomain, DWORD nType) {
  Free();
  if (pwName == nullptr || pwDomain == nullptr) return false;
  m_pwszName = CopyUnits(pwName, cwName);
  m_pwszDomain = m_pwszName != nullptr ? CopyUnits(pwDomain, cwDomain) : nullptr;
  if (m_pwszDomain == nullptr) {
    Free();
    return false;
  }
  m_nType = nType;
  return true;
}

bool CGroupName::Set(const WCHAR* pwszName, const WCHAR* pwszDomain, DWORD nType) {
  if (pwszName == nullptr || pwszDomain == nullptr) {
    Free();
    return false;
  }
  return Set(pwszName, Length(pwszName), pwszDomain, Length(pwszDomain), nType);
}

DWORD CGroupName::Hash() const {
  DWORD h = m_pwszName != nullptr ? HashText(m_pwszName) : 0;
  if (m_pwszDomain == nullptr) return h;
  return h + HashText(m_pwszDomain) + m_nType;
}

bool CGroupName::Equals(const IHashable& other) const {
  const auto* pOther = dynamic_cast<const CGroupName*>(&other);
  if (pOther == nullptr) return false;
  return SameText(m_pwszName, pOther->m_pwszName) && SameText(m_pwszDomain, pOther->m_pwszDomain) &&
         m_nType == pOther->m_nType;
}
