// The service's web pages that the system points the user to: the help page
// named in the uninstall entry and the manual-installation page that the
// install dialog opens after a failed update. Both live on one host.
//
// Threading: any thread.
#pragma once

#include <string>
#include <string_view>

namespace hovane {

// The service's web host.
inline constexpr char kServiceWebHost[] = "www.hovane.net";

inline constexpr char kHelpPagePath[] = "/customer/customer_faq.jsp";
inline constexpr char kManualInstallPagePath[] = "/popup/activex_mainpop.jsp";

// "http://" + the service's web host + path.
inline std::string ServicePageUrl(std::string_view path) {
  std::string url = "http://";
  url += kServiceWebHost;
  url += path;
  return url;
}

}  // namespace hovane
