// HTTP service front door: the URL check, the line rules, the limits and the
// status rule. Backends only move bytes, so every platform splits lines and
// fails in exactly the same way.
#include "platform/http/http.h"

#include <exception>
#include <string>
#include <utility>

#include "platform/http/http_backend.h"

namespace hovane::platform {
namespace {

constexpr std::size_t kMaxDescriptionBytes = 254;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Why url may not be requested, or "" when it may. The backend's own parser
// would refuse most of these too, but only after setting up a transfer, and a
// NUL byte would silently shorten the URL it sees.
std::string RefusalOf(std::string_view url) {
  if (url.empty()) return "empty URL";
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return "malformed URL (control character or space)";
  }
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return "malformed URL (no scheme)";
  std::string scheme(url.substr(0, schemeEnd));
  for (char& c : scheme) c = AsciiLower(c);
  if (scheme != "http" && scheme != "https")
    return "unsupported URL scheme \"" + scheme + "\" (only http and https)";
  const std::string_view rest = url.substr(schemeEnd + 3);
  if (rest.substr(0, rest.find_first_of("/?#")).empty()) return "malformed URL (no host)";
  return {};
}

// Splits the final response's body into lines and hands them to the caller,
// enforcing the limits as bytes arrive so that nothing grows without bound.
class LineReader final : public backend::HttpReceiver {
 public:
  LineReader(const HttpLineHandler& onLine, const HttpOptions& options)
      : onLine_(onLine), options_(options) {}

  bool OnStatus(long status) noexcept override {
    statusChecked_ = true;
    return CheckStatus(status);
  }

  // The handler may throw, and so may the growing line; neither may cross
  // the backend's C callbacks, so the exception waits for Rethrow().
  bool OnBody(std::string_view bytes) noexcept override {
    try {
      return Take(bytes);
    } catch (...) {
      exception_ = std::current_exception();
      return false;
    }
  }

  // The transfer completed: applies the status rule if no body came to
  // trigger it, then passes on the last line if it had no line feed.
  void Finish(long status) {
    if (!statusChecked_ && !CheckStatus(status)) return;
    if (lineStarted_) Deliver();
  }

  void Rethrow() const {
    if (exception_) std::rethrow_exception(exception_);
  }
  bool stopped() const { return stopped_; }
  bool failed() const { return !failure_.empty(); }
  const std::string& failure() const { return failure_; }

 private:
  bool CheckStatus(long status) {
    if (status >= 200 && status <= 299) return true;
    return Fail("HTTP status " + std::to_string(status));
  }

  bool Fail(std::string description) {
    failure_ = std::move(description);
    return false;
  }

  bool Take(std::string_view bytes) {
    // Only the bytes within the body limit are used, so the lines that end
    // before the limit reach the caller however the body was chunked.
    const std::size_t room = options_.maxBodyBytes - bodyBytes_;
    const bool overLimit = bytes.size() > room;
    if (overLimit) bytes = bytes.substr(0, room);
    bodyBytes_ += bytes.size();

    while (!bytes.empty()) {
      const std::size_t lineFeed = bytes.find('\n');
      if (!Append(bytes.substr(0, lineFeed))) return false;
      if (lineFeed == std::string_view::npos) break;
      bytes.remove_prefix(lineFeed + 1);
      if (!Deliver()) return false;
    }
    if (overLimit)
      return Fail("document longer than " + std::to_string(options_.maxBodyBytes) + " bytes");
    return true;
  }

  // Adds bytes of the current line, dropping carriage returns. A line made
  // only of carriage returns still counts as started: it is an empty line,
  // just as "\r\n" is.
  bool Append(std::string_view bytes) {
    if (!bytes.empty()) lineStarted_ = true;
    for (;;) {
      const std::size_t carriageReturn = bytes.find('\r');
      const std::string_view part = bytes.substr(0, carriageReturn);
      if (part.size() > options_.maxLineBytes - line_.size())
        return Fail("line longer than " + std::to_string(options_.maxLineBytes) + " bytes");
      line_.append(part);
      if (carriageReturn == std::string_view::npos) return true;
      bytes.remove_prefix(carriageReturn + 1);
    }
  }

  bool Deliver() {
    const bool more = onLine_(std::string_view(line_));
    line_.clear();
    lineStarted_ = false;
    if (!more) stopped_ = true;
    return more;
  }

  const HttpLineHandler& onLine_;
  const HttpOptions& options_;
  std::string line_;
  bool lineStarted_ = false;
  bool statusChecked_ = false;
  bool stopped_ = false;
  std::size_t bodyBytes_ = 0;
  std::string failure_;
  std::exception_ptr exception_;
};

HttpResult Failed(HttpFailure failure, long status, std::string description) {
  if (description.size() > kMaxDescriptionBytes) description.resize(kMaxDescriptionBytes);
  return HttpResult{failure, status, std::move(description)};
}

}  // namespace

HttpResult HttpGetLines(std::string_view url, const HttpLineHandler& onLine,
                        const HttpOptions& options) {
  if (std::string refusal = RefusalOf(url); !refusal.empty())
    return Failed(HttpFailure::Error, 0, std::move(refusal));

  LineReader reader(onLine, options);
  backend::HttpTransfer transfer = backend::HttpGet(std::string(url), options, reader);
  reader.Rethrow();

  if (!reader.stopped() && !reader.failed()) {
    if (transfer.failure != HttpFailure::None)
      return Failed(transfer.failure, transfer.status, std::move(transfer.description));
    if (transfer.status == 0)
      return Failed(HttpFailure::NoDocument, 0, "no HTTP response arrived");
    reader.Finish(transfer.status);
  }
  if (reader.failed()) return Failed(HttpFailure::Error, transfer.status, reader.failure());
  return HttpResult{HttpFailure::None, transfer.status, {}};
}

}  // namespace hovane::platform
