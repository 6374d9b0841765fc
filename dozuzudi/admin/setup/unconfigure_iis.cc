// UnconfigureIIS: deletes the web application, then the extension's copy and
// its directory.
#include <cstdlib>

#include "admin/setup/setup_exports.h"
#include "admin/setup/setup_steps.h"
#include "admin/setup/setup_trace.h"
#include "platform/files/files.h"

namespace {

[[noreturn]] void EndUnconfigure(LONG nExitCode) {
  SetupTrace(QTR_ENTRY, kSetupTraceUnconfigureEnd, QtrInt(nExitCode));
  std::exit(nExitCode);
}

}  // namespace

extern "C" void WINAPI UnconfigureIIS() {
  SetupTrace(QTR_ENTRY, kSetupTraceUnconfigureStart);
  WCHAR wszDir[kcwSetupPath];
  if (!FindScriptsDirectory(wszDir)) std::exit(1);

  // Composed before anything changes, so that a path too long fails whole.
  WCHAR wszExtensionDir[kcwSetupPath];
  WCHAR wszExtension[kcwSetupPath];
  if (!JoinPath(wszExtensionDir, wszDir, u"\\vltadmin") ||
      !JoinPath(wszExtension, wszExtensionDir, u"\\vltadmin.dll"))
    EndUnconfigure(1);

  IWamAdmin* pAdmin = CreateWamAdmin();
  if (pAdmin == nullptr) {
    SetupTrace(QTR_INFO, kSetupTraceUnconfigureNoWamAdmin);
    EndUnconfigure(1);
  }
  HRESULT hr = pAdmin->AppDelete(kwszApplicationPath, TRUE);
  pAdmin->Release();
  if (FAILED(hr)) {
    SetupTrace(QTR_INFO, kSetupTraceAppDeleteFailed);
    EndUnconfigure(1);
  }
  DeleteFileW(wszExtension);
  RemoveDirectoryW(wszExtensionDir);
  EndUnconfigure(0);
}
