// CFileDnDialog: the progress panel. A borderless child window over the
// install dialog that shows the in-progress picture (215), the label
// "설치중:", the name of the file being received (or a status text of the
// install procedure) and a progress bar with its percentage. The receive
// thread and the install procedure report through it (ProgressPanel); its
// end timer, timer 0, tells the parent that the thread has ended.
//
// Lifecycle: constructed without a window; Create makes the window from
// layout 106 as a hidden child of the parent's window, and the parent shows
// it. The panel must not be destroyed while m_bRunning is set, since the
// receive thread still uses it; once it is clear, the thread touches the
// panel no more and the destructor only joins it.
//
// Threading: the window belongs to the GUI thread. The ProgressPanel methods
// may be called from any thread: they run on the GUI thread while the caller
// waits (so the GUI thread must be handling events, as the modal install
// dialog does), and at once when called on the GUI thread. SetBarRange and
// SetBarPosition only take the bar's lock unless the bar must be redrawn.
// m_bRunning may be read and written from any thread. Everything else is
// for the GUI thread.
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

#include "control/settings.h"
#include "platform/msgbox/console_progress.h"
#include "transfer/progress_panel.h"
#include "transfer/recv_thread.h"
#include "ui/font_static.h"
#include "ui/progress_panel_parent.h"
#include "ui/text_progress_ctrl.h"

namespace hovane {

// The label before the file name.
inline constexpr char kInstallingLabel[] = "설치중:";
// The panel's end timer and its interval.
inline constexpr unsigned kEndTimerId = 0;
inline constexpr int kEndTimerMilliseconds = 300;

class CFileDnDialog : public QWidget, public ProgressPanel {
 public:
  // parent: the window Create will use when given none; may be null.
  explicit CFileDnDialog(ProgressPanelParent* parent = nullptr);
  ~CFileDnDialog() override;
  CFileDnDialog(const CFileDnDialog&) = delete;
  CFileDnDialog& operator=(const CFileDnDialog&) = delete;

  // Makes the window from layout 106 as a hidden child of parent's window
  // (or of the construction parent when parent is null), binds the
  // controls and runs OnInitDialog. False, changing nothing, without a
  // parent or when the window exists already.
  virtual bool Create(ProgressPanelParent* parent = nullptr);

  // Copies the file-server settings.
  void SetServerInfo(std::string_view serverId, std::string_view serverIp, std::string_view userId,
                     std::int32_t port);
  // The fetch list (not owned): capacity records.
  void SetFetchList(FetchRecord* fetchList, std::size_t capacity);

  // Mirrors every panel's file name and bar to a console progress line
  // (not owned; nullptr for none), for runs without a display. Process-wide.
  static void SetConsoleMirror(platform::ConsoleProgress* mirror);

  // Starts the download and installation on a new receive thread, set up
  // with this panel, m_serverInfo and m_pFetchList; m_bRunning is set just
  // before it runs. The end timer fires about 300 ms after the thread has
  // ended, on every path. Call only while m_bRunning is clear. A finished
  // thread is joined by the next start or by the destructor.
  void StartDownload();

  // ProgressPanel.
  void SetFileName(std::string_view text) override;
  void SetTextVisible(bool visible) override;
  void SetBarRange(std::int32_t lower, std::int32_t upper) override;
  std::int32_t SetBarPosition(std::int32_t position) override;
  void SetUpdateSucceeded(std::int32_t value) override;
  void BringDialogToFront() override;
  // The panel's own identity (its QWidget address); the Qt message boxes
  // find the window by it.
  std::uintptr_t MessageBoxOwner() const override;
  // Starts the end timer and clears m_bRunning in one step on the GUI
  // thread, so the timer never finds the flag still set.
  void SignalThreadEnd() override;

  // Window timers by number: SetTimer starts timer id, or restarts it when
  // it runs, to fire every milliseconds until KillTimer stops it.
  void SetTimer(unsigned id, int milliseconds);
  void KillTimer(unsigned id);
  bool IsTimerRunning(unsigned id) const;

  // A receive thread started by this panel has not yet finished.
  std::atomic<std::int32_t> m_bRunning{0};
  ServerInfo m_serverInfo;
  FetchRecord* m_pFetchList = nullptr;  // not owned
  std::size_t m_nFetchListCapacity = 0;
  // The receive thread of the last start; joined by the next start and by
  // the destructor.
  std::unique_ptr<CRecvThread> m_pThread;
  QImage m_bmpBackground;
  CTextProgressCtrl m_progress;
  CFontStatic m_lblInstalling;
  CFontStatic m_lblFileName;

 protected:
  virtual bool OnInitDialog();
  // Timer 0 stops itself and calls the parent's OnDownloadFinished, as the
  // last thing it does (the parent may delete the panel); other timers do
  // nothing.
  virtual void OnTimer(unsigned id);

  // While the parent does not paint its own picture, the panel shows
  // picture 215 from its top left corner; otherwise it erases to the
  // window colour.
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  ProgressPanelParent* m_pParent;
  bool m_bCreated = false;
  std::map<unsigned, QBasicTimer> m_timers;
};

}  // namespace hovane
