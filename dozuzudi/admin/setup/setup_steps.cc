// Steps shared by the setup entry points.
#include "admin/setup/setup_steps.h"

#include "platform/text/wstr.h"

bool JoinPath(WCHAR (&wszPath)[kcwSetupPath], const WCHAR* pwszBase, const WCHAR* pwszTail) {
  if (wcslen(pwszBase) + wcslen(pwszTail) > kcchSetupPathMax) return false;
  wcscpy(wszPath, pwszBase);
  wcscat(wszPath, pwszTail);
  return true;
}

IWamAdmin* CreateWamAdmin() {
  CoInitialize(nullptr);
  IWamAdmin* pAdmin = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WamAdmin, nullptr, CLSCTX_ALL, IID_IWamAdmin,
                                reinterpret_cast<void**>(&pAdmin));
  return SUCCEEDED(hr) ? pAdmin : nullptr;
}
