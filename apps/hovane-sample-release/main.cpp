// hovane-sample-release: writes a small release of the client programs for
// the demo and the end-to-end tests: the files a file server serves and the
// version list an update server serves.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: hovane-sample-release --out DIR --list FILE [--bump NAME]\n"
    "\n"
    "Writes a sample release of the client into DIR and its version list into\n"
    "FILE (one \"name:version\" line per file):\n"
    "  HoVane.exe         the client program\n"
    "  HovanePlugin.ocx   a plug-in control that registers itself when installed\n"
    "  HoVane.ico         the program icon\n"
    "  HovaneNotice.txt   a data file\n"
    "\n"
    "  --out DIR      the folder the file server serves\n"
    "  --list FILE    the version list the update server serves\n"
    "  --bump NAME    publish a new version of one file: raise its version in\n"
    "                 FILE and rewrite it in DIR (the others stay as they are)\n"
    "  --help         this text\n";

struct Entry {
  std::string name;
  std::string version;
};

const std::vector<Entry> kFirstRelease = {
    {"HoVane.exe", "1,0,0,1"},
    {"HovanePlugin.ocx", "1,0,0,1"},
    {"HoVane.ico", "1,0,0,1"},
    {"HovaneNotice.txt", "1,0,0,1"},
};

// A 32 x 32 icon with 32-bit pixels: a blue disc with a white bar, the
// service's mark in miniature.
std::string MakeIcon() {
  constexpr int kSize = 32;
  std::string icon;
  auto put16 = [&](std::uint16_t v) { icon.append({char(v & 0xFF), char(v >> 8)}); };
  auto put32 = [&](std::uint32_t v) {
    put16(static_cast<std::uint16_t>(v & 0xFFFF));
    put16(static_cast<std::uint16_t>(v >> 16));
  };
  const std::uint32_t pixelBytes = kSize * kSize * 4, maskBytes = kSize * 4;
  put16(0), put16(1), put16(1);                          // icon directory, one image
  icon += char(kSize), icon += char(kSize), icon += '\0', icon += '\0';
  put16(1), put16(32), put32(40 + pixelBytes + maskBytes), put32(6 + 16);
  put32(40), put32(kSize), put32(kSize * 2), put16(1), put16(32);  // bitmap header
  put32(0), put32(pixelBytes + maskBytes), put32(0), put32(0), put32(0), put32(0);
  for (int y = kSize - 1; y >= 0; --y) {  // bottom-up rows, BGRA
    for (int x = 0; x < kSize; ++x) {
      const double dx = x - 15.5, dy = y - 15.5;
      const bool inside = std::sqrt(dx * dx + dy * dy) < 15.0;
      const bool bar = inside && x >= 9 && x <= 22 && y >= 14 && y <= 17;
      const std::uint32_t bgra = !inside ? 0x00000000u : bar ? 0xFFFFFFFFu : 0xFFC06020u;
      put32(bgra);
    }
  }
  icon.append(maskBytes, '\0');
  return icon;
}

bool WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out.flush());
}

bool WriteReleaseFile(const fs::path& out, const Entry& entry) {
  const fs::path target = out / entry.name;
  std::error_code error;
  if (entry.name == "HoVane.exe") {
    fs::copy_file(HOVANE_SAMPLE_CLIENT, target, fs::copy_options::overwrite_existing, error);
    if (!error) fs::permissions(target, fs::perms::owner_exec | fs::perms::group_exec |
                                            fs::perms::others_exec, fs::perm_options::add, error);
    return !error;
  }
  if (entry.name == "HovanePlugin.ocx") {
    fs::copy_file(HOVANE_SAMPLE_PLUGIN, target, fs::copy_options::overwrite_existing, error);
    return !error;
  }
  if (entry.name == "HoVane.ico") return WriteFile(target, MakeIcon());
  return WriteFile(target, "HoVane notice, version " + entry.version + "\n");
}

std::vector<Entry> ReadList(const fs::path& list) {
  std::vector<Entry> entries;
  std::ifstream in(list);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon != std::string::npos) entries.push_back({line.substr(0, colon), line.substr(colon + 1)});
  }
  return entries;
}

bool WriteList(const fs::path& list, const std::vector<Entry>& entries) {
  std::string text;
  for (const Entry& entry : entries) text += entry.name + ":" + entry.version + "\n";
  return WriteFile(list, text);
}

// "1,0,0,7" -> "1,0,0,8".
std::string NextVersion(const std::string& version) {
  const auto comma = version.rfind(',');
  const std::string head = comma == std::string::npos ? "" : version.substr(0, comma + 1);
  const std::string last = comma == std::string::npos ? version : version.substr(comma + 1);
  long number = 0;
  for (char c : last)
    if (c >= '0' && c <= '9') number = number * 10 + (c - '0');
  return head + std::to_string(number + 1);
}

int Fail(const std::string& problem) {
  std::cerr << "hovane-sample-release: " << problem << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, list, bump;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if ((arg == "--out" && value(&out)) || (arg == "--list" && value(&list)) ||
        (arg == "--bump" && value(&bump)))
      continue;
    std::cerr << "hovane-sample-release: bad argument \"" << arg << "\"\n\n" << kUsage;
    return 2;
  }
  if (out.empty() || list.empty()) {
    std::cerr << "hovane-sample-release: --out and --list are required\n\n" << kUsage;
    return 2;
  }
  std::error_code error;
  fs::create_directories(out, error);
  if (fs::path(list).has_parent_path()) fs::create_directories(fs::path(list).parent_path(), error);

  if (bump.empty()) {
    for (const Entry& entry : kFirstRelease)
      if (!WriteReleaseFile(out, entry)) return Fail("cannot write " + (fs::path(out) / entry.name).string());
    if (!WriteList(list, kFirstRelease)) return Fail("cannot write " + list);
    std::cout << "release written to " << out << ", version list " << list << "\n";
    return 0;
  }

  std::vector<Entry> entries = ReadList(list);
  for (Entry& entry : entries) {
    if (entry.name != bump) continue;
    entry.version = NextVersion(entry.version);
    if (!WriteReleaseFile(out, entry)) return Fail("cannot write " + (fs::path(out) / entry.name).string());
    if (!WriteList(list, entries)) return Fail("cannot write " + list);
    std::cout << entry.name << " is now version " << entry.version << "\n";
    return 0;
  }
  return Fail("\"" + bump + "\" is not in " + list);
}
