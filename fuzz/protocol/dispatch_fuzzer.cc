// Whole request documents through CRequest::Dispatch, as a worker hands them
// over. The back ends are stand-ins that change nothing; the input's last
// byte chooses their answer, so that every answer is written. A refused
// document must leave the connection untouched.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "admin/host/settings.h"
#include "admin/messages/keyword_tables.h"
#include "admin/password/password_back_ends.h"
#include "admin/protocol/request.h"
#include "admin/xml/charset_alias.h"

namespace {

unsigned ms_nAnswer = 0;
size_t ms_cbWritten = 0;

AdminError Answer() {
  static const WCHAR* const rgAnswers[] = {nullptr, ERR_ID_OLD_PASSWORD_INVALID, ERR_ID_NEW_PASSWORD_INVALID,
                                           ERR_ID_OPERATION_FAILED};
  return rgAnswers[ms_nAnswer % 4];
}
NET_API_STATUS ChangeNt(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
  static const NET_API_STATUS rgStatus[] = {0, 86, 2245, 87, 1355};
  return rgStatus[ms_nAnswer % 5];
}
AdminError ChangeAds(LPCWSTR, LPCWSTR, LPCWSTR) { return Answer(); }
AdminError ChangeNds(const char*, const char*, const char*, const char*) { return Answer(); }

BOOL WINAPI WriteClient(HCONN, LPVOID, LPDWORD pcb, DWORD) {
  ms_cbWritten += *pcb;
  return TRUE;
}
BOOL WINAPI ServerSupportFunction(HCONN, DWORD, LPVOID, LPDWORD, LPDWORD) {
  ++ms_cbWritten;
  return TRUE;
}

// An empty registry (no synced domain, no directory services), the shipped
// alias table and the stand-in back ends, once per process.
void InitializeOnce() {
  static bool fDone = false;
  if (fDone) return;
  fDone = true;
  char szRegistry[] = "/tmp/vlt-dispatch-fuzz-XXXXXX";
  int fd = mkstemp(szRegistry);
  if (fd < 0) abort();
  const char szText[] = "Windows Registry Editor Version 5.00\r\n\r\n";
  if (write(fd, szText, sizeof szText - 1) < 0) abort();
  close(fd);
  setenv("VLTADMIN_REGISTRY", szRegistry, 1);
  std::ifstream in(std::string(VLT_SOURCE_DIR) + "/data/vltxmlss.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CCharsetAliasTable::Parse(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  int nError;
  CIcuTrans::Initialize(&nError, nullptr);  // the table is filled: this only marks it ready
  InitKeywordTables();
  g_passwordBackEnds = {ChangeNt, ChangeAds, ChangeNds};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InitializeOnce();
  if (size == 0 || size > DEFAULT_MAX_REQUEST_SIZE) return 0;
  ms_nAnswer = data[size - 1];
  ms_cbWritten = 0;
  // An exact-size copy, so that a read past the body is caught.
  std::vector<unsigned char> body(data, data + size);
  EXTENSION_CONTROL_BLOCK ecb{};
  ecb.cbSize = sizeof ecb;
  ecb.WriteClient = WriteClient;
  ecb.ServerSupportFunction = ServerSupportFunction;
  ConnectionOutput output;
  output.m_pECB = &ecb;
  int nDispatch;
  {
    CRequest20 handler(&output);
    nDispatch = handler.Dispatch(body.data(), static_cast<DWORD>(size));
  }
  if (nDispatch == DISPATCH_REFUSED && ms_cbWritten != 0) {
    fprintf(stderr, "a refused document wrote to the connection\n");
    abort();
  }
  return 0;
}
