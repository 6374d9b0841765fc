#include <new>

#include "admin/groups/group_resolution.h"

bool CGroupQueue::Queue(const WCHAR* pwszName, const WCHAR* pwszDomain, DWORD nType) {
  auto* pGroup = new (std::nothrow) CGroupName();
  if (pGroup == nullptr || !pGroup->Set(pwszName, pwszDomain, nType)) {
    delete pGroup;
    return false;
  }
  if (m_set.Contains(pGroup)) {
    delete pGroup;
    return true;
  }
  // Into the set first: the set owns the group, so one it cannot hold is
  // never handed out (and never lost).
  if (!m_set.Insert(pGroup)) {
    delete pGroup;
    return false;
  }
  m_stack.Push(pGroup);
  return true;
}
