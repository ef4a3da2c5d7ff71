// HTTP backend on libcurl's easy interface.
//
// The body is never collected here: each piece libcurl reads goes straight to
// the receiver, which may stop the transfer from inside the write callback.
#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/http/http_backend.h"

namespace hovane::platform::backend {
namespace {

// curl_global_init must run once before any other libcurl call and, in older
// libcurls, not concurrently with one. It is never undone: other threads may
// still be in a transfer when the process ends.
CURLcode GlobalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_FAILED_INIT;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result;
}

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

struct Transfer {
  CURL* easy;
  HttpReceiver& receiver;
  bool statusSent = false;
};

// libcurl skips the bodies of redirects it follows, so whatever reaches this
// callback belongs to the final response, and its status is already known.
size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (bytes == 0) return 0;
  if (!transfer.statusSent) {
    transfer.statusSent = true;
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    if (!transfer.receiver.OnStatus(status)) return 0;
  }
  // Returning fewer bytes than offered makes libcurl end with CURLE_WRITE_ERROR.
  return transfer.receiver.OnBody(std::string_view(data, bytes)) ? bytes : 0;
}

// A negative time would make libcurl refuse the option; 0 turns the limit off.
long Seconds(long value) { return value < 0 ? 0 : value; }

CURLcode Configure(CURL* easy, const std::string& url, const HttpOptions& options,
                   Transfer& transfer, char* errorBuffer) {
  CURLcode code = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (code == CURLE_OK) code = curl_easy_setopt(easy, option, value);
  };
  set(CURLOPT_ERRORBUFFER, errorBuffer);
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_HTTPGET, 1L);
  // No signal handlers: the caller may be any thread of a larger program.
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, 10L);
#if LIBCURL_VERSION_NUM >= 0x075500
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  set(CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
  set(CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  // CURLOPT_PROXY stays unset, so libcurl takes http_proxy, https_proxy and
  // no_proxy from the environment.
  if (!options.userAgent.empty()) set(CURLOPT_USERAGENT, options.userAgent.c_str());
  set(CURLOPT_CONNECTTIMEOUT, Seconds(options.connectTimeoutSeconds));
  // libcurl aborts when less than LOW_SPEED_LIMIT bytes per second arrived
  // over the last LOW_SPEED_TIME seconds; with a limit of 1 that is, near
  // enough, "nothing arrived for that long", and it also covers waiting for
  // the response to begin.
  set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(CURLOPT_LOW_SPEED_TIME, Seconds(options.stallTimeoutSeconds));
  set(CURLOPT_WRITEFUNCTION, &OnWrite);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
  return code;
}

std::string DescriptionOf(CURLcode code, const char* errorBuffer) {
  std::string description = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
    description.pop_back();
  return description;
}

}  // namespace

HttpTransfer HttpGet(const std::string& url, const HttpOptions& options, HttpReceiver& receiver) {
  HttpTransfer result;
  if (const CURLcode init = GlobalInit(); init != CURLE_OK) {
    result.failure = HttpFailure::NoSession;
    result.description = std::string("libcurl could not start: ") + curl_easy_strerror(init);
    return result;
  }
  const std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
  if (!easy) {
    result.failure = HttpFailure::NoSession;
    result.description = "libcurl could not create a transfer";
    return result;
  }

  char errorBuffer[CURL_ERROR_SIZE] = {};
  Transfer transfer{easy.get(), receiver};
  CURLcode code = Configure(easy.get(), url, options, transfer, errorBuffer);
  if (code != CURLE_OK) {
    result.failure = HttpFailure::NoSession;
    result.description = "libcurl refused a setting: " + DescriptionOf(code, errorBuffer);
    return result;
  }

  code = curl_easy_perform(easy.get());
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &result.status);
  if (code == CURLE_OK) return result;
  // A server that takes the request and closes without a byte of answer
  // leaves no document; every other libcurl failure is an error.
  result.failure = code == CURLE_GOT_NOTHING ? HttpFailure::NoDocument : HttpFailure::Error;
  result.description = DescriptionOf(code, errorBuffer);
  return result;
}

}  // namespace hovane::platform::backend
