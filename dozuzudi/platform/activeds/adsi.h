// platform/activeds: the directory-services library "ACTIVEDS.DLL"
// (libactiveds.so, loaded by module name, never linked): the ADSI
// interfaces the extension calls (this header), ADsOpenObject, ADsGetObject,
// ADsBuildVarArrayStr, ADsGetLastError and the NameTranslate class object.
//
// Backed by: the server's own directory through platform/ldap
// (directory_connection.h): OpenLDAP, tested against Samba AD and slapd.
// Threads: entry points may be called from any thread; an object belongs to
// one thread at a time; ADsGetLastError is per thread.
// Failures: HRESULTs; an LDAP result becomes HRESULT_FROM_WIN32 of the
// Win32 code Windows gives it, and the server's diagnostic text (with its
// Win32 code on Active Directory) is kept for ADsGetLastError.
// Our choices: "LDAP://[server/]DN" paths only; objects read properties
// from the directory when asked (no property cache); a password change is
// one unicodePwd modify on Active Directory and an RFC 3062 password modify
// with the password-policy control elsewhere; names are translated by
// searching the directory.
//
// IADs and IADsUser are declared with every method in the order of their
// Windows declarations, so that each keeps its vtable slot: IADs's methods
// take slots 7 to 19 after IDispatch, IADsUser's slots 20 to 110, with
// ChangePassword in slot 110.
//
// What the password library relies on: IADsUser::ChangePassword(old, new)
// changes the user's password, given the old one, and answers S_OK or the
// failure HRESULT (the directory's codes for a wrong old password and for a
// refused new one). The BSTR arguments stay the caller's.
#pragma once

#include "platform/base/api.h"
#include "platform/com/com.h"

VLT_API_BEGIN

class IADsMembers;

class IADs : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInfo() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetInfo() = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE Put(BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT vProperties, LONG lnReserved) = 0;
};

class IADsUser : public IADs {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_BadLoginAddress(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BadLoginCount(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastLogin(DATE* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastLogoff(DATE* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastFailedLogin(DATE* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PasswordLastChanged(DATE* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Division(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Division(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Department(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Department(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EmployeeID(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EmployeeID(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FullName(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FullName(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FirstName(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FirstName(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastName(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LastName(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OtherName(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_OtherName(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NamePrefix(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NamePrefix(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NameSuffix(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NameSuffix(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Title(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Title(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Manager(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Manager(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TelephoneHome(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TelephoneHome(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TelephoneMobile(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TelephoneMobile(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TelephoneNumber(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TelephoneNumber(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TelephonePager(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TelephonePager(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FaxNumber(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FaxNumber(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OfficeLocations(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_OfficeLocations(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PostalAddresses(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PostalAddresses(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PostalCodes(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PostalCodes(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SeeAlso(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SeeAlso(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AccountDisabled(VARIANT_BOOL* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AccountDisabled(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AccountExpirationDate(DATE* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AccountExpirationDate(DATE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GraceLoginsAllowed(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_GraceLoginsAllowed(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GraceLoginsRemaining(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_GraceLoginsRemaining(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsAccountLocked(VARIANT_BOOL* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsAccountLocked(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LoginHours(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LoginHours(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LoginWorkstations(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LoginWorkstations(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MaxLogins(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MaxLogins(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MaxStorage(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MaxStorage(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PasswordExpirationDate(DATE* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PasswordExpirationDate(DATE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PasswordMinimumLength(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PasswordMinimumLength(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PasswordRequired(VARIANT_BOOL* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PasswordRequired(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequireUniquePassword(VARIANT_BOOL* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RequireUniquePassword(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EmailAddress(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EmailAddress(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HomeDirectory(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HomeDirectory(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Languages(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Languages(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Profile(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Profile(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LoginScript(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LoginScript(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Picture(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Picture(VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HomePage(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HomePage(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Groups(IADsMembers** ppGroups) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPassword(BSTR NewPassword) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) = 0;
};

// {3E37E320-17E2-11CF-ABC4-02608C9E7553}
inline constexpr IID IID_IADsUser = {0x3E37E320, 0x17E2, 0x11CF,
                                     {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};

// {FD8256D0-FD15-11CE-ABC4-02608C9E7553}
inline constexpr IID IID_IADs = {0xFD8256D0, 0xFD15, 0x11CE,
                                 {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};

// Groups and their members. IADsGroup::Members hands out an IADsMembers
// whose get__NewEnum gives an IEnumVARIANT of the members, each a
// VT_DISPATCH object that answers IADsUser for a user, IADsGroup for a group
// and IADs alone for anything else (a computer account, a contact).
class IADsGroup : public IADs {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR bstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE Members(IADsMembers** ppMembers) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsMember(BSTR bstrMember, VARIANT_BOOL* bMember) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(BSTR bstrNewItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(BSTR bstrItemToBeRemoved) = 0;
};

class IADsMembers : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* plCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** ppEnumerator) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pvFilter) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filter(VARIANT pvFilter) = 0;
};

// {27636B00-410F-11CF-B1FF-02608C9E7553}
inline constexpr IID IID_IADsGroup = {0x27636B00, 0x410F, 0x11CF,
                                      {0xB1, 0xFF, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
// {451A0030-72EC-11CF-B03B-00AA006E0975}
inline constexpr IID IID_IADsMembers = {0x451A0030, 0x72EC, 0x11CF,
                                        {0xB0, 0x3B, 0x00, 0xAA, 0x00, 0x6E, 0x09, 0x75}};

// Directory searches. What the group resolution relies on: the scope and
// page size preferences (a page size pages the search with the LDAP paged
// results control, so that results of any size come back whole); rows in
// the server's order, GetFirstRow/GetNextRow answering S_ADS_NOMORE_ROWS
// after the last; GetColumn of an attribute the row lacks answering
// E_ADS_COLUMN_NOT_SET; string values as ADSTYPE_CASE_IGNORE_STRING (DNs as
// ADSTYPE_DN_STRING, small integers as ADSTYPE_INTEGER). A column's memory
// is the search object's until FreeColumn.
enum ADSTYPE {
  ADSTYPE_INVALID = 0,
  ADSTYPE_DN_STRING = 1,
  ADSTYPE_CASE_EXACT_STRING = 2,
  ADSTYPE_CASE_IGNORE_STRING = 3,
  ADSTYPE_PRINTABLE_STRING = 4,
  ADSTYPE_NUMERIC_STRING = 5,
  ADSTYPE_BOOLEAN = 6,
  ADSTYPE_INTEGER = 7,
  ADSTYPE_OCTET_STRING = 8,
  ADSTYPE_UTC_TIME = 9,
  ADSTYPE_LARGE_INTEGER = 10,
  ADSTYPE_PROV_SPECIFIC = 11,
};

struct ADS_OCTET_STRING {
  DWORD dwLength;
  LPBYTE lpValue;
};

struct ADSVALUE {
  ADSTYPE dwType;
  union {
    LPWSTR DNString;
    LPWSTR CaseExactString;
    LPWSTR CaseIgnoreString;
    LPWSTR PrintableString;
    LPWSTR NumericString;
    BOOL Boolean;
    DWORD Integer;
    ADS_OCTET_STRING OctetString;
    LONGLONG LargeInteger;
  };
};
typedef ADSVALUE* PADSVALUE;

enum ADS_SEARCHPREF {
  ADS_SEARCHPREF_ASYNCHRONOUS = 0,
  ADS_SEARCHPREF_DEREF_ALIASES = 1,
  ADS_SEARCHPREF_SIZE_LIMIT = 2,
  ADS_SEARCHPREF_TIME_LIMIT = 3,
  ADS_SEARCHPREF_ATTRIBTYPES_ONLY = 4,
  ADS_SEARCHPREF_SEARCH_SCOPE = 5,
  ADS_SEARCHPREF_TIMEOUT = 6,
  ADS_SEARCHPREF_PAGESIZE = 7,
  ADS_SEARCHPREF_PAGED_TIME_LIMIT = 8,
  ADS_SEARCHPREF_CHASE_REFERRALS = 9,
};
enum ADS_SCOPEENUM { ADS_SCOPE_BASE = 0, ADS_SCOPE_ONELEVEL = 1, ADS_SCOPE_SUBTREE = 2 };
enum ADS_STATUSENUM {
  ADS_STATUS_S_OK = 0,
  ADS_STATUS_INVALID_SEARCHPREF = 1,
  ADS_STATUS_INVALID_SEARCHPREFVALUE = 2,
};

struct ADS_SEARCHPREF_INFO {
  ADS_SEARCHPREF dwSearchPref;
  ADSVALUE vValue;
  ADS_STATUSENUM dwStatus;
};
typedef ADS_SEARCHPREF_INFO* PADS_SEARCHPREF_INFO;

typedef HANDLE ADS_SEARCH_HANDLE;
typedef ADS_SEARCH_HANDLE* PADS_SEARCH_HANDLE;

struct ADS_SEARCH_COLUMN {
  LPWSTR pszAttrName;
  ADSTYPE dwADsType;
  PADSVALUE pADsValues;
  DWORD dwNumValues;
  HANDLE hReserved;
};
typedef ADS_SEARCH_COLUMN* PADS_SEARCH_COLUMN;

class IDirectorySearch : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs,
                                                        DWORD dwNumPrefs) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames,
                                                  DWORD dwNumberAttributes,
                                                  PADS_SEARCH_HANDLE phSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle,
                                                      LPWSTR* ppszColumnName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                              PADS_SEARCH_COLUMN pSearchColumn) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) = 0;
};

// {109BA8EC-92F0-11D0-A790-00C04FD8D5A8}
inline constexpr IID IID_IDirectorySearch = {0x109BA8EC, 0x92F0, 0x11D0,
                                             {0xA7, 0x90, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0xA8}};

#define S_ADS_NOMORE_ROWS static_cast<HRESULT>(0x00005012)
#define S_ADS_NOMORE_COLUMNS static_cast<HRESULT>(0x00005013)
#define E_ADS_COLUMN_NOT_SET static_cast<HRESULT>(0x80005013u)
#define E_ADS_INVALID_FILTER static_cast<HRESULT>(0x80005014u)

// Name translation between the directory's name forms.
#define ADS_NAME_INITTYPE_DOMAIN 1
#define ADS_NAME_INITTYPE_SERVER 2
#define ADS_NAME_INITTYPE_GC 3
#define ADS_NAME_TYPE_1779 1
#define ADS_NAME_TYPE_NT4 3
#define ADS_NAME_TYPE_USER_PRINCIPAL_NAME 9

class IADsNameTranslate : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE put_ChaseReferral(LONG lnChaseReferral) = 0;
  virtual HRESULT STDMETHODCALLTYPE Init(LONG lnSetType, BSTR bstrADsPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitEx(LONG lnSetType, BSTR bstrADsPath, BSTR bstrUserID,
                                           BSTR bstrDomain, BSTR bstrPassword) = 0;
  virtual HRESULT STDMETHODCALLTYPE Set(LONG lnSetType, BSTR bstrADsPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(LONG lnFormatType, BSTR* pbstrADsPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEx(LONG lnFormatType, VARIANT pVar) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEx(LONG lnFormatType, VARIANT* pVar) = 0;
};

// {B1B272A3-3625-11D1-A3A4-00C04FB950DC}
inline constexpr IID IID_IADsNameTranslate = {0xB1B272A3, 0x3625, 0x11D1,
                                              {0xA3, 0xA4, 0x00, 0xC0, 0x4F, 0xB9, 0x50, 0xDC}};
// {274FAE1F-3626-11D1-A3A4-00C04FB950DC}
inline constexpr CLSID CLSID_NameTranslate = {0x274FAE1F, 0x3626, 0x11D1,
                                              {0xA3, 0xA4, 0x00, 0xC0, 0x4F, 0xB9, 0x50, 0xDC}};

// Binding flags of ADsOpenObject.
#define ADS_SECURE_AUTHENTICATION 0x1
#define ADS_USE_ENCRYPTION 0x2

#define E_ADS_BAD_PATHNAME static_cast<HRESULT>(0x80005000u)
#define E_ADS_PROPERTY_NOT_FOUND static_cast<HRESULT>(0x8000500Du)

// Entry points of the directory-services library ("ACTIVEDS.DLL"), which
// callers take with GetProcAddress from the loaded module.
//   ADsOpenObject(path, user, password, flags, riid, out object): binds to
//     "LDAP://[server/]DN"; no user and password: the service's identity.
//     "WinNT://DOMAIN/name" binds a group of an NT domain through the
//     network management functions (netapi.h): a local group, else a domain
//     group of that name; its members are "WinNT://DOMAIN/name" objects. A
//     group the functions do not find fails with HRESULT_FROM_WIN32 of their
//     status (NERR_GroupNotFound, ERROR_ACCESS_DENIED, ...).
//   ADsGetObject(path, riid, out object): ADsOpenObject with no user.
//   ADsBuildVarArrayStr(strings, count, out variant): a VT_ARRAY|VT_VARIANT
//     of VT_BSTR copies.
//   ADsGetLastError(out code, error text, its size, provider name, its size):
//     the extended error of the calling thread's last directory call.
typedef HRESULT(WINAPI* PFN_ADSOPENOBJECT)(LPCWSTR lpszPathName, LPCWSTR lpszUserName,
                                           LPCWSTR lpszPassword, DWORD dwReserved, REFIID riid,
                                           void** ppObject);
typedef HRESULT(WINAPI* PFN_ADSGETLASTERROR)(LPDWORD lpError, LPWSTR lpErrorBuf,
                                             DWORD dwErrorBufLen, LPWSTR lpNameBuf,
                                             DWORD dwNameBufLen);
VLT_API_END
