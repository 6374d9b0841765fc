// The Unicode normal form a domain's passwords are given, and the
// normalisation itself.
//
// Registry, under HKEY_LOCAL_MACHINE\SOFTWARE\Veltra\PasswordTranslator,
// value "NormalForm" (REG_SZ: "NFC", "NFKC" or "none", in any case):
//   Domains\<domain>   for the NT domain <domain>
//   Directory          for directory changes (no domain)
//   the key itself     for every domain or directory without its own value
// With none of them set, NFC.
#pragma once

#include "platform/com/oleauto.h"

enum ENormalForm { eNormalFormNone, eNormalFormNfc, eNormalFormNfkc, eNormalFormUnknown };

// The form configured for pwszDomain (null: the directory). A value that
// names no known form gives eNormalFormUnknown.
ENormalForm ConfiguredNormalForm(LPCWSTR pwszDomain);

// *pbstr = pwPassword (cw units) in normal form eForm, as a new BSTR. Every
// intermediate buffer is wiped before it is freed. E_INVALIDARG for an
// unknown form, E_OUTOFMEMORY, or E_FAIL when the text cannot be normalised.
HRESULT NormalizePassword(ENormalForm eForm, const OLECHAR* pwPassword, UINT cw, BSTR* pbstr);
