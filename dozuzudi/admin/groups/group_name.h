// The identity of a group during resolution: its name, its domain (an NT
// domain or an NDS tree) and the domain's type. Two groups are the same when
// all three are equal (names and domains compared exactly, unit by unit).
#pragma once

#include "admin/groups/hashable.h"

class CGroupName : public IHashable {
 public:
  CGroupName() = default;
  ~CGroupName() override;
  CGroupName(const CGroupName&) = delete;
  CGroupName& operator=(const CGroupName&) = delete;

  // Copies the name and the domain (cw units each, then a terminator) and
  // keeps the type. False, with both strings null, when the name or the
  // domain is null or memory runs out.
  bool Set(const WCHAR* pwName, DWORD cwName, const WCHAR* pwDomain, DWORD cwDomain, DWORD nType);
  // The same for terminated strings.
  bool Set(const WCHAR* pwszName, const WCHAR* pwszDomain, DWORD nType);

  // The name's length plus its units 1 and 2 weighted 1 and 2 (those that
  // exist), then the same of the domain and the type; unsigned 32-bit.
  DWORD Hash() const override;
  bool Equals(const IHashable& other) const override;

  const WCHAR* Name() const { return m_pwszName; }
  const WCHAR* Domain() const { return m_pwszDomain; }
  DWORD Type() const { return m_nType; }

 private:
  void Free();

  WCHAR* m_pwszName = nullptr;
  WCHAR* m_pwszDomain = nullptr;
  DWORD m_nType = 0;
};
