#include "command_line.h"

#include <array>
#include <cstdio>

#include "resources/interface_description.h"
#include "resources/module_data.h"

namespace hovane::host {
namespace {

struct CommandInfo {
  Command command;
  const char* name;
  const char* arguments;  // shown in the usage line
  int minArguments;
  int maxArguments;  // -1: any number
  const char* summary;  // one line for the command list
  const char* help;
};

constexpr std::array<CommandInfo, 14> kCommands = {{
    {Command::Check, "check", "", 0, 0,
     "check, and install what is out of date (elevated)",
     "Checks the client files and, when one is out of date, installs the update through an\n"
     "elevated instance of the control (CheckVersion). Exit 0 when everything is current or\n"
     "the update was installed, 1 when it was not."},
    {Command::SingleCheck, "single-check", "", 0, 0,
     "check whether every client file is current",
     "Checks whether every client file is current, installing nothing (SingleCheckVersion).\n"
     "Exit 0 when current, 1 when something is out of date."},
    {Command::Install, "install", "", 0, 0,
     "install what is out of date in this process",
     "Fetches and installs every out-of-date file in this process, with this process's\n"
     "rights (RealCheckVersion). Exit 0 when current or installed, 1 when not."},
    {Command::Reset, "reset", "", 0, 0,
     "mark every file of the list as not installed",
     "Checks the list once, as a page does first, then marks every file of it as not\n"
     "installed, so the next check fetches them all (SetAllFileInstall). Exit 0 on\n"
     "success, 1 when the list could not be fetched."},
    {Command::DeleteOld, "delete-old", "", 0, 0,
     "remove what older releases installed",
     "Removes the controls and system files that older releases installed (DeleteOldFile)."},
    {Command::DeleteGarbage, "delete-garbage", "", 0, 0,
     "remove every older control and old system file",
     "Removes every older control whatever the update kind, then the old system files\n"
     "(DeleteGarbageFile)."},
    {Command::DeleteFile, "delete-file", "NAME", 1, 1,
     "delete one file of the install folder",
     "Deletes one file of the install folder (DeleteInstalledFile). A name that leads out of\n"
     "the install folder is refused. Exit 0 when deleted, 1 when not."},
    {Command::DeleteFolder, "delete-folder", "", 0, 0,
     "delete the install folder",
     "Deletes the install folder with everything in it (DeleteInstalledFolder)."},
    {Command::Status, "status", "", 0, 0,
     "print the control's state",
     "Prints the control's state: IsUpdateCheck, IsSucessed and CheckUpdateDlg."},
    {Command::Register, "register", "[--user]", 0, 0,
     "register the control module",
     "Registers the control module for the machine, or with --user for the current user."},
    {Command::Unregister, "unregister", "[--user]", 0, 0,
     "remove the control module's registration",
     "Removes the control module's registration, for the machine or with --user."},
    {Command::Call, "call", "METHOD [ARG...]", 1, -1,
     "call a method of the control by name",
     "Calls a method of the control by name, as a page's script does. Text arguments are\n"
     "given as they are; boolean ones as 1/0, true/false or yes/no. Out values are printed.\n"
     "Exit 0 for S_OK, 1 for S_FALSE, 3 for an error status."},
    {Command::Reg, "reg", "KEY", 1, 1,
     "print a registry key of the prefix",
     "Prints a registry key of the prefix with its values and subkeys. KEY starts with\n"
     "HKLM\\ or HKCU\\ (or HKEY_LOCAL_MACHINE\\, HKEY_CURRENT_USER\\)."},
    {Command::Show, "show", "", 0, 0,
     "show the control in a window",
     "Shows the control in a window, as a page embeds it (needs a display)."},
}};

constexpr char kOptionsHelp[] =
    "Options (before or after the command):\n"
    "  --prefix DIR        the prefix folder (default $HOVANE_PREFIX or ~/.local/share/hovane)\n"
    "  --url URL           the version list URL (http:// or https://)\n"
    "  --server ADDRESS    the file server's IPv4 address\n"
    "  --port PORT         the file server's TCP port (0-65535)\n"
    "  --user-id ID        the user id sent to the file server\n"
    "  --server-id ID      the server id setting\n"
    "  --foreign           a foreign setup (installs GlobalHoVane.exe as the main program)\n"
    "  --yes, --no         the answer to questions when there is no terminal\n"
    "  --version           the control module's version\n"
    "  --help              this text; COMMAND --help for one command\n";

constexpr char kExitHelp[] =
    "Exit status: 0 succeeded/current/true, 1 not succeeded/out of date/false,\n"
    "2 bad command line (nothing done), 3 the control could not be made or a call failed.\n";

const CommandInfo* FindCommand(const std::string& name) {
  for (const CommandInfo& info : kCommands)
    if (name == info.name) return &info;
  return nullptr;
}

std::string MainHelp() {
  std::string text =
      "usage: hovane-update [OPTIONS] COMMAND [ARGS]\n"
      "\n"
      "Plays the service's page: creates the HoVaneUpdate control and calls its methods.\n"
      "\n"
      "Commands:\n";
  for (const CommandInfo& info : kCommands) {
    std::string head = std::string("  ") + info.name + (*info.arguments ? " " : "") + info.arguments;
    head.resize(std::max<std::size_t>(head.size() + 1, 26), ' ');
    text += head + info.summary + "\n";
  }
  return text + "\n" + kOptionsHelp + "\n" + kExitHelp;
}

std::string CommandHelp(const CommandInfo& info) {
  std::string text = std::string("usage: hovane-update [OPTIONS] ") + info.name +
                     (*info.arguments ? " " : "") + info.arguments + "\n\n" + info.help + "\n";
  if (info.command == Command::Call) {
    text += "\nMethods:\n";
    for (const auto& method : interface_description::kMethods) {
      text += "  " + std::string(method.name) + "(";
      for (std::size_t i = 0; i < method.paramCount; ++i) {
        const auto& param = method.params[i];
        if (i) text += ", ";
        text += param.type == interface_description::ParamType::String ? "text "
                : param.type == interface_description::ParamType::Bool ? "bool "
                                                                       : "out bool ";
        text += param.name;
      }
      text += ")\n";
    }
  }
  return text + "\n" + kOptionsHelp;
}

std::string VersionText() {
  const auto& info = module_data::kVersionInfo;
  char version[64];
  std::snprintf(version, sizeof version, "%u.%u.%u.%u", info.fileVersion[0], info.fileVersion[1],
                info.fileVersion[2], info.fileVersion[3]);
  return std::string(info.productName) + " " + version + " (" + std::string(info.internalName) +
         ")\n";
}

bool IsUrl(const std::string& url) {
  for (const char* scheme : {"http://", "https://"}) {
    const std::string prefix = scheme;
    if (url.size() > prefix.size() && url.compare(0, prefix.size(), prefix) == 0 &&
        url[prefix.size()] != '/' && url.find_first_of(" \t\r\n") == std::string::npos)
      return true;
  }
  return false;
}

bool IsPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= 65535;
}

bool IsDottedAddress(const std::string& text) {
  int parts = 0, digits = 0, value = 0;
  for (char c : text + ".") {
    if (c == '.') {
      if (digits == 0 || value > 255) return false;
      ++parts;
      digits = value = 0;
    } else if (c >= '0' && c <= '9' && digits < 3) {
      value = value * 10 + (c - '0');
      ++digits;
    } else {
      return false;
    }
  }
  return parts == 4;
}

}  // namespace

const char* CommandName(Command command) {
  for (const CommandInfo& info : kCommands)
    if (info.command == command) return info.name;
  return "?";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Options options;
  const CommandInfo* command = nullptr;
  bool help = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::optional<std::string>* target) {
      if (i + 1 >= args.size()) {
        parsed.error = arg + " needs a value";
        return false;
      }
      *target = args[++i];
      return true;
    };
    // After "call METHOD", everything is the method's, dashes included.
    if (command && command->command == Command::Call && !options.arguments.empty()) {
      options.arguments.push_back(arg);
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      parsed.text = VersionText();
      return parsed;
    } else if (arg == "--prefix") {
      if (!value(&options.prefix)) return parsed;
    } else if (arg == "--url") {
      if (!value(&options.url)) return parsed;
      if (!IsUrl(*options.url)) {
        parsed.error = "not an http:// or https:// URL: " + *options.url;
        return parsed;
      }
    } else if (arg == "--server") {
      if (!value(&options.serverIp)) return parsed;
      if (!IsDottedAddress(*options.serverIp)) {
        parsed.error = "not a dotted IPv4 address: " + *options.serverIp;
        return parsed;
      }
    } else if (arg == "--port") {
      if (!value(&options.port)) return parsed;
      if (!IsPort(*options.port)) {
        parsed.error = "not a port number (0-65535): " + *options.port;
        return parsed;
      }
    } else if (arg == "--user-id") {
      if (!value(&options.userId)) return parsed;
    } else if (arg == "--server-id") {
      if (!value(&options.serverId)) return parsed;
    } else if (arg == "--foreign") {
      options.foreign = true;
    } else if (arg == "--yes" || arg == "--no") {
      options.answer = arg == "--yes" ? Answer::Yes : Answer::No;
    } else if (arg == "--user" && command &&
               (command->command == Command::Register || command->command == Command::Unregister)) {
      options.perUser = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      parsed.error = "unknown option " + arg;
      return parsed;
    } else if (!command) {
      command = FindCommand(arg);
      if (!command) {
        parsed.error = "unknown command " + arg;
        return parsed;
      }
      options.command = command->command;
    } else {
      options.arguments.push_back(arg);
    }
  }
  if (help) {
    parsed.text = command ? CommandHelp(*command) : MainHelp();
    return parsed;
  }
  if (!command) {
    parsed.error = "no command given";
    return parsed;
  }
  const int count = static_cast<int>(options.arguments.size());
  if (count < command->minArguments ||
      (command->maxArguments >= 0 && count > command->maxArguments)) {
    parsed.error = std::string(command->name) + " takes " +
                   (*command->arguments ? command->arguments : "no arguments");
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}

}  // namespace hovane::host
