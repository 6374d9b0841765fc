// The handler's group operation: every group of a RequestGroup message,
// and with "subtree" every group nested in them, answered in one
// ResponseGroup document. The dispatcher never routes a group request here;
// callers reach it through AnswerGroupRequest.
#include <new>

#include "admin/groups/group_request.h"
#include "admin/groups/group_resolution.h"
#include "admin/groups/nds_group_resolver.h"
#include "admin/messages/keyword_tables.h"
#include "admin/protocol/request.h"

int CRequest20::ResolveGroups(CGroupRequest& message) {
  // A refused request (its parse closed the writer) has had its answer.
  if (!m_writer.IsUsable()) return 0;
  if (m_fAccessListsHidden) {
    message.BeginResponse(kwszResponseGroup);
    message.WriteErrorId(ERR_ID_NO_PERMISSION);
    message.EndResponse(kwszResponseGroup);
    return 0;
  }
  GroupNameSet set(GROUP_SET_BUCKETS);
  GroupStack stack(GROUP_STACK_CAPACITY);
  CGroupQueue queue(set, stack, !message.IsOneLevel());
  for (DWORD i = 0; i < message.GroupCount(); ++i) {
    const CGroupName* pGroup = message.Group(i);
    queue.Queue(pGroup->Name(), pGroup->Domain(), pGroup->Type());
  }

  message.BeginResponse(kwszResponseGroup);
  CNdsGroupResolver* pNds = nullptr;
  while (CGroupName* pGroup = queue.Next()) {
    switch (pGroup->Type()) {
      case DOMAIN_TYPE_NT:
        if (m_hAdsiModule == nullptr)
          ResolveNtGroupNetApi(message, queue, *pGroup);
        else
          ResolveNtGroupAdsi(message, queue, m_adsiEntryPoints, *pGroup);
        break;
      case DOMAIN_TYPE_NDS:
        // The login is attempted once, at the first NDS group.
        if (pNds == nullptr) {
          pNds = new (std::nothrow) CNdsGroupResolver(message, queue);
          if (pNds != nullptr) pNds->NdsLogin(message.Domain(), message.UserName(), message.Password());
        }
        if (pNds != nullptr) {
          pNds->ResolveNdsGroup(*pGroup);
        } else {
          message.WriteGroupStart(pGroup->Name(), pGroup->Domain(), pGroup->Type());
          message.WriteErrorId(ERR_ID_UNSPECIFIED);
          message.WriteGroupEnd();
        }
        break;
      default:
        // Other domain types are carried but not resolved.
        break;
    }
  }
  message.EndResponse(kwszResponseGroup);

  set.Clear();
  if (pNds != nullptr) {
    pNds->NdsLogout();
    delete pNds;
  }
  return 0;
}
