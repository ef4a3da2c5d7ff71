#include "platform/msgbox/message_box.h"

#include <atomic>
#include <cstdlib>

#include "platform/codepage/codepage.h"
#include "platform/msgbox/console_text.h"
#include "platform/msgbox/terminal_backend.h"

namespace hovane::platform {
namespace {

ConsoleMessageBoxes& DefaultService() {
  static ConsoleMessageBoxes service;
  return service;
}

std::atomic<MessageBoxService*>& CurrentService() {
  static std::atomic<MessageBoxService*> service{nullptr};
  return service;
}

const char* IconLabel(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::Error: return "error";
    case MessageBoxIcon::Warning: return "warning";
    case MessageBoxIcon::Question: return "question";
    case MessageBoxIcon::Information: return "information";
    case MessageBoxIcon::None: break;
  }
  return nullptr;
}

}  // namespace

// Bytes that are not valid in the code page are shown as '?' rather than
// hiding the whole text.
std::string NarrowForConsole(std::string_view narrow) {
  if (auto utf8 = NarrowToUtf8(narrow)) return *utf8;
  std::string shown;
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    const std::size_t length =
        (IsLeadByte(static_cast<unsigned char>(narrow[i])) && i + 1 < narrow.size()) ? 2 : 1;
    auto utf8 = NarrowToUtf8(narrow.substr(i, length));
    shown += utf8 ? *utf8 : "?";
    i += length - 1;
  }
  return shown;
}

MessageBoxResult ShowMessageBox(const MessageBoxRequest& request) {
  MessageBoxService* service = CurrentService().load();
  return (service ? *service : static_cast<MessageBoxService&>(DefaultService())).Show(request);
}

void ShowMessage(std::string_view text, std::string_view caption, MessageBoxIcon icon,
                 std::uintptr_t owner) {
  ShowMessageBox({owner, std::string(text), std::string(caption), MessageBoxButtons::Ok, icon});
}

MessageBoxService* SetMessageBoxService(MessageBoxService* service) {
  return CurrentService().exchange(service);
}

ConsoleMessageBoxes::ConsoleMessageBoxes() {
  const char* answer = std::getenv("HOVANE_DEFAULT_ANSWER");
  if (answer != nullptr && LowerCase(answer) == "yes") defaultAnswer_ = MessageBoxResult::Yes;
}

void ConsoleMessageBoxes::SetDefaultAnswer(MessageBoxResult answer) { defaultAnswer_ = answer; }

MessageBoxResult ConsoleMessageBoxes::Show(const MessageBoxRequest& request) {
  std::string out = "[" + NarrowForConsole(request.caption) + "]";
  if (const char* label = IconLabel(request.icon)) out += std::string(" (") + label + ")";
  out += " " + NarrowForConsole(request.text);
  if (!out.empty() && out.back() != '\n') out += '\n';
  if (request.buttons == MessageBoxButtons::Ok) {
    backend::WriteToConsole(out);
    return MessageBoxResult::Ok;
  }
  const bool defaultYes = defaultAnswer_ == MessageBoxResult::Yes;
  if (!backend::InputIsTerminal()) {
    backend::WriteToConsole(out + (defaultYes ? "-> yes\n" : "-> no\n"));
    return defaultAnswer_;
  }
  backend::WriteToConsole(out);
  for (;;) {
    backend::WriteToConsole(defaultYes ? "[Y/n] " : "[y/N] ");
    auto line = backend::ReadConsoleLine();
    if (!line) return defaultAnswer_;
    const std::string answer = LowerCase(*line);
    if (answer.empty()) return defaultAnswer_;
    if (answer == "y" || answer == "yes") return MessageBoxResult::Yes;
    if (answer == "n" || answer == "no") return MessageBoxResult::No;
  }
}

MessageBoxResult ScriptedMessageBoxes::Show(const MessageBoxRequest& request) {
  std::lock_guard lock(mutex_);
  shown_.push_back(request);
  if (request.buttons == MessageBoxButtons::Ok) return MessageBoxResult::Ok;
  if (answers_.empty()) return defaultAnswer_;
  MessageBoxResult answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void ScriptedMessageBoxes::QueueAnswer(MessageBoxResult answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

void ScriptedMessageBoxes::SetDefaultAnswer(MessageBoxResult answer) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = answer;
}

std::vector<MessageBoxRequest> ScriptedMessageBoxes::Shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

void ScriptedMessageBoxes::Clear() {
  std::lock_guard lock(mutex_);
  shown_.clear();
  answers_.clear();
}

}  // namespace hovane::platform
