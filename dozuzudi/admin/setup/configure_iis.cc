// ConfigureIIS: copies the extension into the scripts directory, beside the
// web interface, and creates its in-process web application.
#include <cstdlib>

#include "admin/setup/setup_exports.h"
#include "admin/setup/setup_steps.h"
#include "admin/setup/setup_trace.h"
#include "platform/files/files.h"

namespace {

[[noreturn]] void EndConfigure(LONG nExitCode) {
  SetupTrace(QTR_ENTRY, kSetupTraceConfigureEnd, QtrInt(nExitCode));
  std::exit(nExitCode);
}

}  // namespace

extern "C" void WINAPI ConfigureIIS() {
  SetupTrace(QTR_ENTRY, kSetupTraceConfigureStart);
  WCHAR wszDir[kcwSetupPath];
  if (!FindScriptsDirectory(wszDir)) std::exit(1);

  WCHAR wszWebInterface[kcwSetupPath];
  WCHAR wszExtensionDir[kcwSetupPath];
  WCHAR wszExtension[kcwSetupPath];
  if (!JoinPath(wszWebInterface, wszDir, u"\\hqsrv.dll") ||
      !JoinPath(wszExtensionDir, wszDir, u"\\vltadmin") ||
      !JoinPath(wszExtension, wszExtensionDir, u"\\vltadmin.dll"))
    EndConfigure(1);

  WIN32_FIND_DATAW findData;
  HANDLE hFind = FindFirstFileW(wszWebInterface, &findData);
  if (hFind == INVALID_HANDLE_VALUE) {
    SetupTrace(QTR_INFO, kSetupTraceNoWebInterface);
    EndConfigure(0);
  }
  FindClose(hFind);

  WCHAR wszSource[kcwSetupPath];
  FindCopySource(wszSource);
  CreateDirectoryW(wszExtensionDir, nullptr);
  if (!CopyFileW(wszSource, wszExtension, FALSE)) {
    DWORD dwError = GetLastError();
    SetupTrace(QTR_INFO, kSetupTraceCopyFailed, QtrInt(dwError), QtrString(wszSource),
               QtrString(wszExtension));
  }

  IWamAdmin* pAdmin = CreateWamAdmin();
  if (pAdmin == nullptr) {
    SetupTrace(QTR_INFO, kSetupTraceConfigureNoWamAdmin);
    EndConfigure(1);
  }
  HRESULT hr = pAdmin->AppCreate(kwszApplicationPath, TRUE);
  pAdmin->Release();
  if (FAILED(hr)) {
    SetupTrace(QTR_INFO, kSetupTraceAppCreateFailed);
    EndConfigure(1);
  }
  SetupTrace(QTR_INFO, kSetupTraceAppCreated);
  EndConfigure(0);
}
