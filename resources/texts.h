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
  X(kTextCloseRunningPrograms, "실행중인 모든 호바네 업로드, 다운로드 프로그램을 종료해 주십시오.") \
  X(kTextProcessSnapshotFailed, "CreateToolhelp32Snapshot (of processes)")                 \
  X(kTextFirstProcessFailed, "Process32First")                                              \
  X(kTextUninstallDisplayName, "호바네 ActiveX")                                            \
  X(kTextUninstallPublisher, "VARNO.Co.,Ltd")                                               \
  X(kTextPrepareFailed,                                                                     \
    "설치 준비 작업중 에러가 발생했습니다..\n실행중인 모든 인터넷창을 닫은 후 다시 접속하여 주십시오.") \
  X(kTextResumeQuestion, "%s와 \n같은 이름을 가진 파일이 있습니다.\n이어 받으시겠습니까?\n") \
  X(kTextBadFileName, "파일 서버가 잘못된 파일 이름을 보냈습니다: \"%s\"\n다운로드를 중단합니다.") \
  X(kTextBadDownloadList, "파일 서버가 보낸 다운로드 목록이 올바르지 않습니다.\n다운로드를 중단합니다.") \
  X(kTextReplyTooLarge, "파일 서버의 응답이 너무 큽니다. (%s × %s 바이트)\n다운로드를 중단합니다.") \
  X(kTextUnexpectedReply, "파일 서버가 예상하지 못한 응답을 보냈습니다. (명령 %s)\n다운로드를 중단합니다.") \
  X(kTextBadFileSize, "파일 서버가 보낸 %s 파일의 크기가 올바르지 않습니다.\n다운로드를 중단합니다.") \
  X(kTextLocalFileOpenFailed, "%s 파일을 만들 수 없습니다. (%s)")                        \
  X(kTextLocalFileWriteFailed, "%s 파일에 쓸 수 없습니다.")                               \
  X(kTextRegistering, "시스템 등록 중입니다.")                                              \
  X(kTextOldFileRemovalFailed, "이전 파일 삭제에 실패했습니다.\n업데이트를 다시 시도해 주십시오.") \
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
