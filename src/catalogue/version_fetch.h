// The fetch of a version list, shared by every operation that reads one.
//
// FetchVersionList GETs the list and hands each entry, numbered from 1, to
// onEntry as its line arrives; onOpen runs once the document is open (a
// success status has arrived), before the first entry. It never shows a
// message: a failure comes back as the text the user is to see, so that the
// caller can first write what the entries so far changed and then report.
//
// Threading: blocks the calling thread until the list is read or fails.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "catalogue/version_list.h"

namespace hovane {

struct VersionFetchResult {
  bool ok = false;
  std::string message;  // what the user sees on failure (at most 254 bytes)
};

VersionFetchResult FetchVersionList(std::string_view url, const std::function<void()>& onOpen,
                                    const std::function<void(const VersionListEntry&)>& onEntry);

// Shows a failed fetch's message in a modal OK box captioned with the
// module's title.
void ReportFetchFailure(const VersionFetchResult& result);

}  // namespace hovane
