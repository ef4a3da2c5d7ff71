// The cost of a version check per list entry, for lists of 100, 1,000 and
// 10,000 entries against a version file that matches them. The cost per
// entry must stay flat as the list grows: the version file is read once per
// check, never once per entry. Prints the time per entry for each size and
// its ratio to the smallest list's, measured in this run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/option_file.h"
#include "control/control.h"
#include "control/settings.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_prefix.h"
#include "platform/msgbox/message_box.h"

namespace {

using Clock = std::chrono::steady_clock;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Median seconds of one SingleCheckVersion over a few runs.
double SecondsPerCheck(hovane::test::HttpTestServer& server, int entries) {
  std::string list;
  for (int i = 1; i <= entries; ++i)
    list += "client/file" + std::to_string(i) + ".dat:1,0,0," + std::to_string(i) + "\r\n";
  const std::string path = "/bench/" + std::to_string(entries) + "/version.html";
  server.Serve(path, list);

  hovane::CHoVaneUpdateInstaller control;
  control.SetVirsionUrl(Wide(server.Url(path)));
  hovane::COptionFile file;
  file.SelectVersionFile(hovane::TheModule().m_strVersionListUrl);
  file.StoreVersionList();

  std::vector<double> runs;
  for (int run = 0; run < 5; ++run) {
    hovane::VARIANT_BOOL current = 0;
    const auto start = Clock::now();
    control.SingleCheckVersion(&current);
    runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (!current) std::fprintf(stderr, "unexpected: list of %d not current\n", entries);
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main() {
  hovane::test::TempPrefix prefix;
  hovane::test::HttpTestServer server;
  hovane::platform::ScriptedMessageBoxes boxes;
  hovane::platform::SetMessageBoxService(&boxes);

  const int sizes[] = {100, 1000, 10000};
  double reference = 0;
  std::printf("%-10s %14s %10s\n", "entries", "us per entry", "ratio");
  for (int entries : sizes) {
    const double perEntry = SecondsPerCheck(server, entries) / entries * 1e6;
    if (reference == 0) reference = perEntry;
    std::printf("%-10d %14.2f %10.2f\n", entries, perEntry, perEntry / reference);
  }
  std::printf("(ratio: cost per entry against the 100-entry list; flat means about 1)\n");
  if (!boxes.Shown().empty()) std::fprintf(stderr, "unexpected messages were shown\n");
  return 0;
}
