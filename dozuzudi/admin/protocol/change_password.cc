// The handler's change-password operation: the request is routed to its
// back end and answered.
#include "admin/messages/change_password_request.h"
#include "admin/metrics/extension_metrics.h"
#include "admin/password/password_back_ends.h"
#include "admin/protocol/request.h"

namespace {

const WCHAR s_wszResponse[] = u"ResponseChangePassword";

}  // namespace

int CRequest20::ChangePassword(CChangePasswordRequest& message) {
  AdminError pwszResult = ExecuteChangePassword(message);
  CountAnswer(pwszResult);
  message.BeginResponse(s_wszResponse);
  if (pwszResult != nullptr) message.WriteErrorId(pwszResult);
  message.EndResponse(s_wszResponse);
  return 0;
}
