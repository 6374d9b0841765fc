// The password library: password changes in NT domains and directories,
// with every password first offered to the password translator.
#pragma once

#include "platform/activeds/adsi.h"
#include "platform/base/wintypes.h"

// Changes a user's password in an NT domain (the empty domain is this
// machine). 87 when an argument is missing or the domain is a server name
// in UNC form ("\\server"), without calling the platform; otherwise the
// status of NetUserChangePassword, unchanged. The old password, then the new
// one, is offered to the translator first.
NET_API_STATUS ChangeDomainPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld,
                                    LPCWSTR pwszNew);

// Changes the password of a directory user object through
// IADsUser::ChangePassword and returns its HRESULT unchanged;
// E_ADS_BAD_PARAMETER when an argument is missing. The account name is only
// the user named to the translator, which is given no domain.
HRESULT ChangeDirectoryPassword(IADsUser* pUser, LPCWSTR pwszAccount, LPCWSTR pwszOld,
                                LPCWSTR pwszNew);

// Asks the password translator which password to use in place of
// pwszPassword. True when *pvarResult (empty on entry) now holds that
// password as a VT_BSTR that is not null; the caller wipes its characters and
// clears it. False leaves *pvarResult empty: the password is used as
// received. A translator answer of any other type counts as a failure.
// Never throws.
bool TranslatePassword(LPCWSTR pwszUser, LPCWSTR pwszDomain, LPCWSTR pwszPassword,
                       VARIANT* pvarResult);

// Whether the translator is used, process-wide. It leaves Untried once, on
// the first translation that finishes, and never changes afterwards.
enum ETranslatorState : LONG {
  eTranslatorUntried = 0,
  eTranslatorAvailable = 1,     // a translation has succeeded once
  eTranslatorUnavailable = 2,   // the first attempt failed: no COM call again
};
ETranslatorState CurrentTranslatorState();
