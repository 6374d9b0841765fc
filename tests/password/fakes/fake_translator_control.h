// The control block of the fake password translator (libfakepwtrans.so):
// tests script each Translate call's answer and read what the server saw.
#pragma once

#include <atomic>

enum EFakeAnswer : int {
  eFakeAnswerPrefixed = 0,  // S_OK with "tr:" + the password
  eFakeAnswerFail = 1,      // E_FAIL, result left empty
  eFakeAnswerNotString = 2, // S_OK with a VT_I4 result
};

constexpr int kcFakeCalls = 64;
constexpr int kcwFakeText = 64;

struct FakeTranslatorControl {
  std::atomic<int> nGetClassObject;
  std::atomic<int> nTranslate;
  // The answer to Translate call n (counted from 0); calls past the table
  // answer eFakeAnswerPrefixed.
  std::atomic<int> rgeAnswer[kcFakeCalls];
  // Objects refuse IPasswordTranslator while set.
  std::atomic<bool> fWithoutInterface;
  // What call n received: the domain (fDomainNull when null) and password.
  char16_t rgwszDomain[kcFakeCalls][kcwFakeText];
  char16_t rgwszUser[kcFakeCalls][kcwFakeText];
  char16_t rgwszPassword[kcFakeCalls][kcwFakeText];
  bool rgfDomainNull[kcFakeCalls];
};

typedef FakeTranslatorControl* (*PFN_FAKE_TRANSLATOR)();
