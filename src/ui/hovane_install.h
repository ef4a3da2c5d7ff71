// CHovaneInstall: the modal install dialog (layout 105) that leads the user
// through an update in four states, each with its own picture:
//
//   state          m_nState  picture            buttons
//   about to start    1      219                Install (m_btnStart, first set)
//   in progress       1      215, by the panel  none
//   completed         0      214                none; the dialog ends by itself
//   not completed    -1      212                OK (m_btnManual)
//
// Opening starts the download at once, unless the fetch list holds a program
// that is still running: then the user is told, and the Install button
// starts it once the program is closed. While the download runs, the
// progress panel (CFileDnDialog) covers the dialog and both commands are
// ignored. After a success the dialog records the server's versions and the
// uninstall entry and ends; after a failure its OK button (or Escape) opens
// the service's manual-installation page in a browser window and ends it,
// and Enter starts the download again.
//
// Commands: the confirm command (button 1, or Enter while no skinned button
// has the focus) runs OnConfirm; the cancel command (button 2, Escape, or
// the window manager's close request) runs OnManualInstall. A close request
// that the dialog ignores leaves it open.
//
// The dialog reads and writes the control settings (TheModule()): the fetch
// list, the server settings, m_bExeInFetchList, m_bInstallResult,
// m_strVersionListUrl, m_bInstallDialogOpen and m_bUpdateSucceeded. It owns
// the fetch list from OnInitDialog on and frees it when it is destroyed.
//
// Threading: GUI thread only. The receive thread reaches the dialog only
// through the panel, which moves its calls onto the GUI thread.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QImage>

#include <cstdint>
#include <memory>

#include "ui/file_dn_dialog.h"
#include "ui/progress_panel_parent.h"
#include "ui/skin_button.h"

namespace hovane {

// The manual-installation page's window.
inline constexpr int kManualInstallWindowWidth = 550;
inline constexpr int kManualInstallWindowHeight = 700;

// The states of m_nState.
inline constexpr std::int32_t kInstallStarting = 1;
inline constexpr std::int32_t kInstallCompleted = 0;
inline constexpr std::int32_t kInstallNotCompleted = -1;

class CHovaneInstall : public QDialog, public ProgressPanelParent {
 public:
  // Lays out the window (title, fixed size, the two buttons, both hidden);
  // starts nothing and touches no setting. parent: the owner window or none.
  explicit CHovaneInstall(QWidget* parent = nullptr);
  // Runs OnDestroy when DoModal has not.
  ~CHovaneInstall() override;
  CHovaneInstall(const CHovaneInstall&) = delete;
  CHovaneInstall& operator=(const CHovaneInstall&) = delete;

  // The modal run: OnInitDialog, the dialog's own event loop until it ends,
  // then OnDestroy. Returns QDialog::Rejected, the cancel result, always.
  // Call once.
  int DoModal();

  // The panel's end timer fired: the receive thread has ended. Shows the
  // outcome by m_bInstallResult.
  void OnDownloadFinished() override;
  // m_bUpdateSucceeded of the control settings = value.
  void SetUpdateSucceeded(std::int32_t value) override;
  QWidget* PanelParentWindow() override { return this; }
  bool PaintState() const override { return m_bPaintState; }

  // The progress panel of the current download, or none.
  std::unique_ptr<CFileDnDialog> m_pPanel;
  QImage m_bmpStarting;
  QImage m_bmpCompleted;
  QImage m_bmpNotCompleted;
  std::int32_t m_nState = kInstallStarting;
  bool m_bPaintState = false;
  QIcon m_hIcon;
  // Button 1: Install (first set), OK (second set).
  CSkinCnlBtn m_btnStart;
  // Button 2: OK.
  CxSkinButton m_btnManual;

 protected:
  virtual bool OnInitDialog();
  // The confirm command.
  void OnConfirm();
  // The cancel command.
  void OnManualInstall();
  // Frees what the dialog holds: the panel, the fetch list, and the
  // dialog-open flag. Runs once.
  void OnDestroy();

  // Copies the picture of m_nState to the client area while m_bPaintState
  // is set and the dialog is not minimised.
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The confirm and cancel commands of the dialog manager.
  void accept() override;
  void reject() override;

 private:
  // Ends the modal run with the cancel result.
  void EndDialog();
  // Destroys the panel's window and the panel.
  void DestroyPanel();
  bool PanelRunning() const;
  std::uintptr_t WindowIdentity() const;

  bool m_bEnded = false;
  bool m_bDestroyed = false;
};

}  // namespace hovane
