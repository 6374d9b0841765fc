// Group objects: IADsGroup over a directory entry, and the objects made for
// entries by their classes.
#pragma once

#include "platform/activeds/ads_group_defaults.h"
#include "platform/activeds/ads_object.h"

class CAdsGroup : public CAdsObject<CAdsGroupDefaults> {
 public:
  CAdsGroup(CDirectorySession* pSession, std::string sDn)
      : CAdsObject(pSession, std::move(sDn), "group", IID_IADsGroup) {}

  // The values of "member" (all ranges of them), read once; the facts of
  // the members are read with one paged search where the directory keeps
  // memberOf, else one by one as the enumeration reaches them.
  HRESULT STDMETHODCALLTYPE Members(IADsMembers** ppMembers) override;

 private:
  bool m_fMembersRead = false;
  std::vector<std::string> m_rgsMembers;
};

// The object for an entry of the session: a user (IADsUser) for the user
// classes other than computers, a group (IADsGroup) for the group classes,
// else a plain IADs. One reference for the caller.
IADs* MakeDirectoryObject(CDirectorySession* pSession, const std::string& sDn, const CEntryFacts& facts);
