// Backend of the HTTP service: one GET, its bytes handed on as they arrive.
// The front door has already checked the URL and applies the line rules,
// the limits and the status rule. Internal to the platform layer.
#pragma once

#include <string>
#include <string_view>

#include "platform/http/http.h"

namespace hovane::platform::backend {

// Takes the final response of a GET (the one after all redirects) as it
// arrives. Called on the thread that runs HttpGet; neither function may throw.
// Returning false stops the transfer at once.
class HttpReceiver {
 public:
  virtual ~HttpReceiver() = default;
  // The final response's status, once, before its first body byte. Not called
  // when the final response has no body.
  virtual bool OnStatus(long status) noexcept = 0;
  // The next bytes of the final response's body, never empty.
  virtual bool OnBody(std::string_view bytes) noexcept = 0;
};

struct HttpTransfer {
  // None when the whole body arrived. After the receiver stopped the
  // transfer, failure and description say nothing useful.
  HttpFailure failure = HttpFailure::None;
  long status = 0;          // status of the last response, 0 when none arrived
  std::string description;  // the backend's words for a failure, any length
};

// GETs url (http or https) with the user agent and the connect and stall
// limits of options; the line and body limits are the front door's.
HttpTransfer HttpGet(const std::string& url, const HttpOptions& options, HttpReceiver& receiver);

}  // namespace hovane::platform::backend
