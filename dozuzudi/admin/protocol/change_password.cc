// The handler's change-password operation: the request is routed to its
// back end and answered.
#include "admin/messages/change_password_request.h"
#include "admin/metrics/extension_metrics.h"
#include "admin/password/guess_limit.h"
#include "admin/password/password_back_ends.h"
#include "admin/protocol/request.h"

namespace {

const WCHAR s_wszResponse[] = u"ResponseChangePassword";
// Counted among the answers, though it is a status, not an error id.
const WCHAR s_wszThrottled[] = u"throttled";

// The client's address from the web server; empty when it gives none.
std::string ClientAddress(ConnectionOutput* pOutput) {
  EXTENSION_CONTROL_BLOCK* pECB = pOutput != nullptr ? pOutput->m_pECB : nullptr;
  if (pECB == nullptr || pECB->GetServerVariable == nullptr) return std::string();
  char szAddress[64];
  DWORD cbAddress = sizeof szAddress;
  char szName[] = "REMOTE_ADDR";
  if (!pECB->GetServerVariable(pECB->ConnID, szName, szAddress, &cbAddress) || cbAddress == 0 ||
      cbAddress > sizeof szAddress)
    return std::string();
  szAddress[cbAddress - 1] = '\0';
  return CGuessLimiter::AddressKey(szAddress);
}

}  // namespace

int CRequest20::ChangePassword(CChangePasswordRequest& message) {
  // Attempts beyond the guessing limits are refused before any back end
  // sees them, and nothing is written: the caller answers with a status.
  const std::u16string userKey =
      CGuessLimiter::UserKey(message.DomainType(), message.Domain(), message.UserName());
  const std::string addressKey = ClientAddress(m_pOutput);
  if (!GuessLimiter().Admit(userKey, addressKey)) {
    CountAnswer(s_wszThrottled);
    return CHANGE_PASSWORD_THROTTLED;
  }

  AdminError pwszResult = ExecuteChangePassword(message);
  GuessLimiter().Finish(userKey, addressKey,
                        pwszResult == nullptr ? CGuessLimiter::EOutcome::kSucceeded
                        : pwszResult == ERR_ID_OLD_PASSWORD_INVALID
                            ? CGuessLimiter::EOutcome::kWrongOldPassword
                            : CGuessLimiter::EOutcome::kOther);
  CountAnswer(pwszResult);
  message.BeginResponse(s_wszResponse);
  if (pwszResult != nullptr) message.WriteErrorId(pwszResult);
  message.EndResponse(s_wszResponse);
  return 0;
}
