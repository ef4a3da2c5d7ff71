// Message boxes: modal questions and notices to the user.
//
// The system shows every message through ShowMessageBox, which hands it to
// the process's current MessageBoxService: the Qt one when the UI is up, the
// console one for the command-line host without a display, a scripted one in
// tests. Texts and captions are narrow text (system code page); services
// convert them for display.
//
// Threading: ShowMessageBox may be called from any thread and blocks the
// caller until the box is answered; a service that must show boxes on one
// thread moves the call there itself. SetMessageBoxService is for start-up.
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <mutex>
#include <string_view>
#include <string>
#include <vector>

#include "platform/export.h"

namespace hovane::platform {

enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxIcon { None, Error, Warning, Question, Information };
// The values Windows uses for the answers.
enum class MessageBoxResult { Ok = 1, Yes = 6, No = 7 };

struct MessageBoxRequest {
  std::uintptr_t owner = 0;  // the owning window's identity, 0 for none
  std::string text;
  std::string caption;
  MessageBoxButtons buttons = MessageBoxButtons::Ok;
  MessageBoxIcon icon = MessageBoxIcon::None;
};

class HOVANE_PLATFORM_API MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows the box and returns the answer; Ok for an OK box.
  virtual MessageBoxResult Show(const MessageBoxRequest& request) = 0;
};

// Shows a box through the current service.
HOVANE_PLATFORM_API MessageBoxResult ShowMessageBox(const MessageBoxRequest& request);

// Convenience for the common OK box.
HOVANE_PLATFORM_API void ShowMessage(std::string_view text, std::string_view caption,
                                     MessageBoxIcon icon = MessageBoxIcon::None,
                                     std::uintptr_t owner = 0);

// Installs service (not owned; it must outlive its use) and returns the one
// it replaces. nullptr restores the console service.
HOVANE_PLATFORM_API MessageBoxService* SetMessageBoxService(MessageBoxService* service);

// Prints boxes to a stream (UTF-8) and reads Yes/No answers from a terminal.
// Without a terminal a question gets the default answer: No, unless the
// environment variable HOVANE_DEFAULT_ANSWER says "yes" (so that a helper
// process answers as the program that started it was told to).
class HOVANE_PLATFORM_API ConsoleMessageBoxes : public MessageBoxService {
 public:
  ConsoleMessageBoxes();
  MessageBoxResult Show(const MessageBoxRequest& request) override;
  // The answer to a Yes/No question when nobody can be asked (default No).
  void SetDefaultAnswer(MessageBoxResult answer);

 private:
  MessageBoxResult defaultAnswer_ = MessageBoxResult::No;
};

// Records every box and answers Yes/No questions from a script, in order;
// when the script is empty, questions get the default answer (Yes).
class HOVANE_PLATFORM_API ScriptedMessageBoxes : public MessageBoxService {
 public:
  MessageBoxResult Show(const MessageBoxRequest& request) override;

  void QueueAnswer(MessageBoxResult answer);
  void SetDefaultAnswer(MessageBoxResult answer);
  std::vector<MessageBoxRequest> Shown() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<MessageBoxResult> answers_;
  MessageBoxResult defaultAnswer_ = MessageBoxResult::Yes;
  std::vector<MessageBoxRequest> shown_;
};

}  // namespace hovane::platform
