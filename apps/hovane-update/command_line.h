// The command line of hovane-update: the global options, the subcommand
// and its arguments, checked completely before anything is done, so that a
// bad command line changes nothing on disk.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hovane::host {

// Exit codes a script can rely on.
inline constexpr int kExitYes = 0;      // succeeded, current, true
inline constexpr int kExitNo = 1;       // not succeeded, out of date, false
inline constexpr int kExitUsage = 2;    // bad command line: nothing was done
inline constexpr int kExitFailure = 3;  // the control could not be made, or a call failed

enum class Command {
  Check,
  SingleCheck,
  Install,
  Reset,
  DeleteOld,
  DeleteGarbage,
  DeleteFile,
  DeleteFolder,
  Status,
  Register,
  Unregister,
  Call,
  Reg,
  Show,
};

enum class Answer { Ask, Yes, No };

struct Options {
  Command command = Command::Status;
  std::vector<std::string> arguments;  // the subcommand's own (UTF-8)
  std::optional<std::string> prefix;
  std::optional<std::string> url;
  std::optional<std::string> serverIp;
  std::optional<std::string> port;  // checked: 0-65535
  std::optional<std::string> userId;
  std::optional<std::string> serverId;
  bool foreign = false;
  bool perUser = false;  // register / unregister --user
  Answer answer = Answer::Ask;
};

// What the command line asks for: options to run, a text to print (help,
// version) or a usage error.
struct ParsedCommandLine {
  std::optional<Options> options;
  std::string text;  // help or version text, printed to stdout, exit 0
  std::string error;  // a usage error, printed with a hint, exit 2
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The subcommand's name as typed.
const char* CommandName(Command command);

}  // namespace hovane::host
