// Directory services interfaces (ADSI) that the extension calls.
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

#include "platform/com.h"

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
