// NDS groups through the NDS client library (password/nds/nds_client.h):
// logged in once per request with the request's credentials, then one
// subtree search per group for the objects whose "Group Membership" names
// it.
#pragma once

#include "admin/groups/group_resolution.h"
#include "admin/password/nds/nds_client.h"

class CGroupRequest;

class CNdsGroupResolver {
 public:
  CNdsGroupResolver(CGroupRequest& message, CGroupQueue& queue) : m_message(message), m_queue(queue) {}
  // Logs out when logged in.
  ~CNdsGroupResolver();
  CNdsGroupResolver(const CNdsGroupResolver&) = delete;
  CNdsGroupResolver& operator=(const CNdsGroupResolver&) = delete;

  // Logs in to the tree as the user, when the client library loads and all
  // three strings are given; a failing step leaves the resolver logged out
  // (and frees the context it made).
  void NdsLogin(const WCHAR* pwszTree, const WCHAR* pwszUser, const WCHAR* pwszPassword);
  // One Group element: the members, or "nds-login-failed".
  void ResolveNdsGroup(const CGroupName& group);
  void NdsLogout();
  bool LoggedIn() const { return m_fLoggedIn; }

 private:
  void ListNdsGroupMembers(const CGroupName& group);

  CGroupRequest& m_message;
  CGroupQueue& m_queue;
  NWDSContextHandle m_context = 0;
  bool m_fLoggedIn = false;
};
