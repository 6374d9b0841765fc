#include "admin/groups/group_stack.h"

#include "platform/base/heap.h"

GroupStack::GroupStack(int nCapacity) : m_rgpItems(nullptr), m_nCapacity(nCapacity > 0 ? nCapacity : 0), m_nCount(0) {
  m_rgpItems = static_cast<CGroupName**>(
      HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(m_nCapacity) * sizeof(CGroupName*)));
  if (m_rgpItems == nullptr) m_nCapacity = 0;
}

GroupStack::~GroupStack() { HeapFree(GetProcessHeap(), 0, m_rgpItems); }

bool GroupStack::Push(CGroupName* pItem) {
  if (m_nCount >= m_nCapacity) {
    if (m_nCapacity > (0x7FFFFFFF - 2) / 2) return false;
    int nCapacity = 2 * m_nCapacity + 2;
    auto* rgpItems = static_cast<CGroupName**>(
        HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(nCapacity) * sizeof(CGroupName*)));
    if (rgpItems == nullptr) return false;
    for (int i = 0; i < m_nCount; ++i) rgpItems[i] = m_rgpItems[i];
    HeapFree(GetProcessHeap(), 0, m_rgpItems);
    m_rgpItems = rgpItems;
    m_nCapacity = nCapacity;
  }
  m_rgpItems[m_nCount++] = pItem;
  return true;
}

CGroupName* GroupStack::Pop() {
  if (m_nCount < 1) return nullptr;
  return m_rgpItems[--m_nCount];
}
