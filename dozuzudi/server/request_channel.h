// What a request's callbacks ask of the connection that carries it. Called
// on the extension's threads; see isapi_callbacks.h.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/isapi/isapi.h"

struct CHostRequest;

class IRequestChannel {
 public:
  // Places up to |cb| further body bytes at |pv|; |cb| becomes the count
  // (0 at the end of the body). False on a failed or timed-out read.
  virtual bool ReadBody(CHostRequest& request, void* pv, DWORD& cb) = 0;
  // Sends the pending status line and header, then |cb| bytes at |pv|.
  virtual bool WriteBody(CHostRequest& request, const void* pv, DWORD cb) = 0;
  // Ends the request; the connection then serves the next one or closes.
  virtual void EndSession(CHostRequest& request) = 0;

 protected:
  ~IRequestChannel() = default;
};
