// The user properties and operations that user objects do not offer: each
// answers E_NOTIMPL. User objects derive from this and override what they
// support.
#pragma once

#include "platform/activeds/adsi.h"

class CAdsUserDefaults : public IADsUser {
 public:
  HRESULT STDMETHODCALLTYPE get_BadLoginAddress(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_BadLoginCount(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LastLogin(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LastLogoff(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LastFailedLogin(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PasswordLastChanged(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Description(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Division(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Division(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Department(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Department(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_EmployeeID(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_EmployeeID(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FullName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FullName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FirstName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FirstName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LastName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LastName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OtherName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_OtherName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NamePrefix(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_NamePrefix(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NameSuffix(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_NameSuffix(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Title(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Title(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Manager(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Manager(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TelephoneHome(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_TelephoneHome(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TelephoneMobile(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_TelephoneMobile(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TelephoneNumber(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_TelephoneNumber(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TelephonePager(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_TelephonePager(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FaxNumber(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FaxNumber(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OfficeLocations(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_OfficeLocations(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PostalAddresses(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PostalAddresses(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PostalCodes(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PostalCodes(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_SeeAlso(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_SeeAlso(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AccountDisabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AccountDisabled(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AccountExpirationDate(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AccountExpirationDate(DATE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_GraceLoginsAllowed(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_GraceLoginsAllowed(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_GraceLoginsRemaining(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_GraceLoginsRemaining(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_IsAccountLocked(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IsAccountLocked(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LoginHours(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LoginHours(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LoginWorkstations(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LoginWorkstations(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MaxLogins(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_MaxLogins(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MaxStorage(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_MaxStorage(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PasswordExpirationDate(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PasswordExpirationDate(DATE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PasswordMinimumLength(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PasswordMinimumLength(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PasswordRequired(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PasswordRequired(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RequireUniquePassword(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RequireUniquePassword(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_EmailAddress(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_EmailAddress(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HomeDirectory(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_HomeDirectory(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Languages(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Languages(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Profile(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Profile(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LoginScript(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LoginScript(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Picture(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Picture(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HomePage(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_HomePage(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Groups(IADsMembers**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPassword(BSTR) override { return E_NOTIMPL; }
};
