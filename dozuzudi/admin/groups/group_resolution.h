// Resolution of the groups of a RequestGroup message, one Group element of
// the answer per group. The request handler's ResolveGroups drives it:
// it queues the requested groups, then resolves what the queue hands out
// until it is empty; resolving a group may queue its nested groups.
#pragma once

#include "admin/groups/group_name_set.h"
#include "admin/groups/group_stack.h"
#include "admin/password/ads/adsi_library.h"

class CGroupRequest;

// The resolution's buckets and stack.
#define GROUP_SET_BUCKETS 101
#define GROUP_STACK_CAPACITY 101

// The groups to resolve: each queued once (the set remembers every group
// ever queued), handed out last in, first out.
class CGroupQueue {
 public:
  CGroupQueue(GroupNameSet& set, GroupStack& stack, bool fRecurse)
      : m_set(set), m_stack(stack), m_fRecurse(fRecurse) {}

  // Queues the group unless an equal one was queued before. False when the
  // group cannot be created or set (a null name or domain, no memory).
  bool Queue(const WCHAR* pwszName, const WCHAR* pwszDomain, DWORD nType);
  CGroupName* Next() { return m_stack.Pop(); }
  // Whether nested groups are followed.
  bool Recurse() const { return m_fRecurse; }

 private:
  GroupNameSet& m_set;
  GroupStack& m_stack;
  bool m_fRecurse;
};

// An NT group through the directory services: LDAP first (with the users
// whose primary group it is), the WinNT provider when the group has no
// LDAP path or its bind fails.
void ResolveNtGroupAdsi(CGroupRequest& message, CGroupQueue& queue, const CAdsiEntryPoints& adsi,
                        const CGroupName& group);
// An NT group through the network management functions.
void ResolveNtGroupNetApi(CGroupRequest& message, CGroupQueue& queue, const CGroupName& group);
