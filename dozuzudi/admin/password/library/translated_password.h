// The caller's side of a translation: one VARIANT per offered password.
#pragma once

#include "platform/com/oleauto.h"

// Offers pwszPassword to the translator with *pvar (initialised empty here)
// and returns the password to send: the translated string in *pvar, or
// pwszPassword as received.
LPCWSTR OfferPassword(LPCWSTR pwszUser, LPCWSTR pwszDomain, LPCWSTR pwszPassword, VARIANT* pvar);

// Overwrites a translated string's characters with zeros (the terminator
// stays) and clears the VARIANT; an empty VARIANT is only cleared.
void WipeAndClear(VARIANT* pvar);
