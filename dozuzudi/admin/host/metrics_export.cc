// GetExtensionMetrics: the extension's statistics handed to the web server.
#include "admin/host/extension_exports.h"
#include "admin/host/request_queue.h"
#include "admin/metrics/extension_metrics.h"

extern "C" BOOL WINAPI GetExtensionMetrics(LPSTR pszText, LPDWORD pcbText) {
  if (pcbText == nullptr) return FALSE;
  DWORD cbGiven = pszText == nullptr ? 0 : *pcbText;
  DWORD cbNeeded =
      FormatExtensionMetrics(ReadInterlocked(&g_requestQueue.workerCount), pszText, cbGiven);
  *pcbText = cbNeeded;
  return cbNeeded <= cbGiven ? TRUE : FALSE;
}
