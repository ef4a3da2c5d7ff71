#include "catalogue/version_fetch.h"

#include <cstdlib>

#include "platform/http/http.h"
#include "platform/msgbox/message_box.h"
#include "resources/texts.h"

namespace hovane {
namespace {

// HOVANE_HTTP_STALL_SECONDS shortens or lengthens the wait for a server that
// stops sending (default: the layer's minute).
platform::HttpOptions VersionFetchOptions() {
  platform::HttpOptions options;
  options.userAgent = Text(TextId::kTextModuleTitle);
  if (const char* env = std::getenv("HOVANE_HTTP_STALL_SECONDS")) {
    const long seconds = std::strtol(env, nullptr, 10);
    if (seconds > 0) options.stallTimeoutSeconds = seconds;
  }
  return options;
}

}  // namespace

VersionFetchResult FetchVersionList(std::string_view url, const std::function<void()>& onOpen,
                                    const std::function<void(const VersionListEntry&)>& onEntry) {
  const platform::HttpOptions options = VersionFetchOptions();
  VersionListReader reader;
  bool opened = false;
  auto open = [&] {
    if (!opened && onOpen) onOpen();
    opened = true;
  };
  const platform::HttpResult http = platform::HttpGetLines(
      url,
      [&](std::string_view line) {
        open();
        if (auto entry = reader.Feed(line)) onEntry(*entry);
        return true;
      },
      options);

  VersionFetchResult result;
  switch (http.failure) {
    case platform::HttpFailure::None:
      open();  // a document without a line was still opened
      result.ok = true;
      break;
    case platform::HttpFailure::NoSession:
      result.message = Text(TextId::kTextHttpConnectionFailed);
      break;
    case platform::HttpFailure::NoDocument:
      result.message = Text(TextId::kTextHttpFileConnectionFailed);
      break;
    case platform::HttpFailure::Error:
      result.message = http.description;
      break;
  }
  return result;
}

void ReportFetchFailure(const VersionFetchResult& result) {
  if (result.ok) return;
  platform::ShowMessage(result.message, Text(TextId::kTextModuleTitle));
}

}  // namespace hovane
