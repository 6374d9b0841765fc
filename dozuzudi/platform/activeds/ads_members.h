// Group members: IADsMembers over a list of member objects, made one at a
// time as the enumeration reaches them, and the IEnumVARIANT that hands
// them out. Shared by the LDAP and WinNT groups.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "platform/activeds/adsi.h"

// Makes the i-th member's object (an IADs, with one reference for the
// caller), or null to pass over a member that cannot be made.
typedef std::function<IADs*(size_t i)> MemberMaker;

// An IADsMembers of cMembers members; each enumerator made from it calls
// makeMember as it reaches a member.
HRESULT CreateMembers(size_t cMembers, std::shared_ptr<MemberMaker> pMakeMember, IADsMembers** ppMembers);
