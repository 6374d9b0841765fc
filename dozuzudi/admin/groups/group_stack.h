// The groups still to resolve, taken last in, first out. The stack does not
// own its items: the same objects are in the GroupNameSet, which destroys
// them.
#pragma once

#include "admin/groups/group_name.h"

class GroupStack {
 public:
  explicit GroupStack(int nCapacity);
  ~GroupStack();
  GroupStack(const GroupStack&) = delete;
  GroupStack& operator=(const GroupStack&) = delete;

  // Grows to 2 × capacity + 2 entries when full; false (the item not
  // pushed) when that fails.
  bool Push(CGroupName* pItem);
  // The last item pushed and not yet popped, or null.
  CGroupName* Pop();

 private:
  CGroupName** m_rgpItems;
  int m_nCapacity;
  int m_nCount;
};
