// The system's user-visible texts, written here in UTF-8 and handed out in
// the system code page (converted once, at first use).
//
// Threading: any thread.
#pragma once

#include <string>

namespace hovane {

#define HOVANE_TEXTS(X)                                                                     \
  X(kTextModuleTitle, "HoVaneUpdate")                                                       \
  X(kTextHttpConnectionFailed, "Http connection failed")                                    \
  X(kTextHttpFileConnectionFailed, "HttpFile connection failed")                            \
  X(kTextNotice, "알림")                                                                    \
  X(kTextDeleteSucceeded, "삭제에 성공하였습니다.")                                         \
  X(kTextPrepareFailed,                                                                     \
    "설치 준비 작업중 에러가 발생했습니다..\n실행중인 모든 인터넷창을 닫은 후 다시 접속하여 주십시오.") \
  X(kTextResumeQuestion, "%s와 \n같은 이름을 가진 파일이 있습니다.\n이어 받으시겠습니까?\n") \
  X(kTextRegistering, "시스템 등록 중입니다.")                                              \
  X(kTextInstallDialogTitle, "설치 - 호바네 프로그램")                                       \
  X(kTextBrowserFailed, "익스플로러 개체 생성에 실패했습니다.")

enum class TextId {
#define HOVANE_TEXT_ENUM(id, utf8) id,
  HOVANE_TEXTS(HOVANE_TEXT_ENUM)
#undef HOVANE_TEXT_ENUM
};

// The text in the system code page.
const std::string& Text(TextId id);

}  // namespace hovane
