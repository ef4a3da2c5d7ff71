// The reference file server, hovane-fileserver, as a real process serving a
// folder on 127.0.0.1 for the life of the object. Its log (stderr) goes to a
// file that tests can read; the destructor stops it (SIGTERM) and waits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hovane::test {

// A folder of files for the server in the host's temp folder, removed at
// the end.
class ServedFolder {
 public:
  ServedFolder();
  ~ServedFolder();
  ServedFolder(const ServedFolder&) = delete;
  ServedFolder& operator=(const ServedFolder&) = delete;
  // Writes a file; the name is UTF-8, as the server stores names on disk.
  void Add(const std::string& utf8Name, const std::string& content);
  // Copies a built file (a module) in under name.
  void AddCopy(const std::string& utf8Name, const std::string& hostFile);
  std::string path() const { return path_; }

 private:
  std::string path_;
};

class FileServerProcess {
 public:
  // Starts the server on folder with extra options (e.g. {"--fault",
  // "error:2"}); fails the current test when it does not come up.
  explicit FileServerProcess(const std::string& folder, std::vector<std::string> options = {});
  ~FileServerProcess();
  FileServerProcess(const FileServerProcess&) = delete;
  FileServerProcess& operator=(const FileServerProcess&) = delete;

  std::uint16_t port() const { return port_; }
  // The log lines written so far.
  std::vector<std::string> LogLines() const;

 private:
  int pid_ = -1;
  int stdout_ = -1;
  std::uint16_t port_ = 0;
  std::string logPath_;
};

}  // namespace hovane::test
