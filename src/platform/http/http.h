// HTTP service: GET of a document whose body reaches the caller line by line
// as it arrives.
//
// Line rules: a line ends at a line feed, which is not part of it; carriage
// returns are dropped wherever they stand; the last line needs no line feed.
// Bytes are passed on as they come (no character-set conversion, NUL bytes
// included). A trailing line without a line feed is passed on only when the
// transfer completed: a broken transfer never delivers a partial line.
//
// Requests: only http and https URLs (any other scheme fails before anything
// is sent); redirects followed (at most 10, http and https only) and the rules
// applied to the final response; the environment's proxy settings; certificate
// checking on for https. A final status outside 200-299 fails before any line
// is delivered. The user agent is the caller's.
//
// Limits (so that a hostile server cannot exhaust memory or hang the caller):
// a connect limit, an abort when nothing arrives for a while, a longest line
// and a largest body; over a limit the GET fails with a description. When a
// GET fails after lines were delivered (a limit, a broken transfer), those
// lines stay delivered; the caller decides whether a partial document counts.
//
// Threading: any thread; the call blocks it until the body is read or the GET
// fails. onLine runs on the calling thread. An exception thrown by onLine ends
// the GET and reaches the caller.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace hovane::platform {

struct HttpOptions {
  std::string userAgent = "HoVaneUpdate";  // empty: no User-Agent header
  long connectTimeoutSeconds = 30;  // 0 or less: no limit of our own
  long stallTimeoutSeconds = 60;    // abort when no byte arrives for this long; 0 or less: never
  std::size_t maxLineBytes = 1u << 20;  // after carriage returns are dropped
  std::size_t maxBodyBytes = 64u << 20;  // bytes as received, carriage returns included
};

enum class HttpFailure {
  None,
  NoSession,   // the layer could not set up a request at all
  NoDocument,  // the server took the request and closed without answering (no status line)
  Error,       // resolution, connection, protocol, status, limit or transfer error
};

struct HttpResult {
  HttpFailure failure = HttpFailure::None;
  long status = 0;          // final HTTP status, 0 when none arrived
  std::string description;  // what went wrong, at most 254 bytes; empty on success
  bool ok() const { return failure == HttpFailure::None; }
};

// Called for each line; the view is valid only during the call. Return false
// to stop reading (the result is then a success with the lines delivered so
// far).
using HttpLineHandler = std::function<bool(std::string_view line)>;

HOVANE_PLATFORM_API HttpResult HttpGetLines(std::string_view url, const HttpLineHandler& onLine,
                                            const HttpOptions& options = {});

}  // namespace hovane::platform
