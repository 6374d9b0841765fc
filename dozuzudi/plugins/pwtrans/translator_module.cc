// The module's entry point for COM activation: the class object of
// PasswordTranslator.
#include "platform/com/inproc_server.h"
#include "plugins/pwtrans/password_translator.h"

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return platform::GetClassObject(
      {{CLSID_PasswordTranslator, platform::CClassFactory<CPasswordTranslator>::Instance()}}, rclsid,
      riid, ppv);
}
