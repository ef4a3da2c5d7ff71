#include "ui/hovane_install.h"

#include <QKeyEvent>
#include <QPainter>

#include "catalogue/option_file.h"
#include "control/settings.h"
#include "install/running_programs.h"
#include "install/uninstall_entry.h"
#include "platform/browser/browser.h"
#include "platform/msgbox/message_box.h"
#include "resources/service_pages.h"
#include "resources/texts.h"
#include "ui/dialog_units.h"
#include "ui/pictures.h"
#include "ui/widget_support.h"

namespace hovane {

CHovaneInstall::CHovaneInstall(QWidget* parent)
    : QDialog(parent), m_btnStart(this), m_btnManual(this) {
  // Layout 105: a pop-up with a caption and a modal frame and no system
  // menu, hence no close box; 231 x 143 units.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle(ui::NarrowToDisplay(Text(TextId::kTextInstallDialogTitle)));
  setFixedSize(ui::DialogRect(0, 0, 231, 143).size());
  setFont(ui::DialogFont());
  setModal(true);
  // Both buttons share one place; button 2 starts hidden.
  m_btnStart.setGeometry(ui::DialogRect(173, 122, 43, 13));
  m_btnManual.setGeometry(ui::DialogRect(173, 122, 43, 13));
  m_btnManual.hide();
  connect(&m_btnStart, &QAbstractButton::clicked, this, [this] { OnConfirm(); });
  connect(&m_btnManual, &QAbstractButton::clicked, this, [this] { OnManualInstall(); });
  // The dialog itself holds the focus until the user moves it to a button,
  // as a dialog whose buttons were hidden when it opened does; Qt would
  // otherwise hand it to the first button shown, which swallows Enter and
  // Escape.
  setFocusPolicy(Qt::ClickFocus);
}

CHovaneInstall::~CHovaneInstall() { OnDestroy(); }

int CHovaneInstall::DoModal() {
  OnInitDialog();
  if (!m_bEnded) exec();
  OnDestroy();
  return QDialog::Rejected;
}

bool CHovaneInstall::OnInitDialog() {
  m_hIcon = ui::LoadIconPicture(ui::kIconInstall);
  setWindowIcon(m_hIcon);
  m_pPanel.reset();
  m_nState = kInstallStarting;

  m_btnManual.AssignSkin(ui::kPictureCancelOkNormal, ui::kPictureCancelOkDown,
                         ui::kPictureCancelOkOver, ui::kPictureCancelOkNormal, 0, 0, 0, 0, 4);
  m_btnStart.AssignTwoSkins(ui::kPictureInstallNormal, ui::kPictureInstallDown,
                            ui::kPictureInstallOver, ui::kPictureInstallNormal, 0,
                            ui::kPictureConfirmOkNormal, ui::kPictureConfirmOkDown,
                            ui::kPictureConfirmOkOver, ui::kPictureConfirmOkNormal, 0,
                            ui::kPictureConfirmMask, 0, 0, 0);

  if (m_bmpStarting.isNull()) m_bmpStarting = ui::LoadPicture(ui::kPictureStarting);
  if (m_bmpCompleted.isNull()) m_bmpCompleted = ui::LoadPicture(ui::kPictureCompleted);
  if (m_bmpNotCompleted.isNull()) m_bmpNotCompleted = ui::LoadPicture(ui::kPictureNotCompleted);

  m_bPaintState = true;
  TheModule().m_bInstallDialogOpen = 1;
  m_btnStart.hide();
  setFocus(Qt::OtherFocusReason);
  OnConfirm();
  return true;
}

void CHovaneInstall::OnConfirm() {
  if (PanelRunning()) return;
  if (m_btnStart.GetSkinSet() == 1) {
    EndDialog();
    return;
  }
  CHoVaneUpdateModule& module = TheModule();
  if (module.m_bExeInFetchList != 0 &&
      !CheckRunningPrograms(module.m_pFetchList, module.FetchListCapacity(), WindowIdentity())) {
    m_btnStart.show();
    return;
  }
  DestroyPanel();
  m_bPaintState = false;
  m_pPanel = std::make_unique<CFileDnDialog>(this);
  m_pPanel->Create(this);
  m_pPanel->show();
  m_btnStart.hide();
  m_btnManual.hide();
  const ServerInfo& server = module.m_serverInfo;
  m_pPanel->SetServerInfo(server.m_strServerId, server.m_strServerIp, server.m_strUserId,
                          server.m_nPort);
  m_pPanel->SetFetchList(module.m_pFetchList, module.FetchListCapacity());
  m_pPanel->StartDownload();
}

void CHovaneInstall::OnDownloadFinished() {
  // The panel clears its running flag in the step that starts the end
  // timer, so the commands below are no longer ignored.
  if (m_pPanel) m_pPanel->hide();
  CHoVaneUpdateModule& module = TheModule();
  if (module.m_bInstallResult.load() == 0) {
    m_btnManual.show();
    m_nState = kInstallNotCompleted;
    m_bPaintState = true;
    repaint();
    return;
  }
  m_nState = kInstallCompleted;
  m_bPaintState = true;
  // Painted now: the picture shows only while the versions and the
  // uninstall entry are written.
  repaint();
  m_btnStart.SelectSkinSet(1);

  COptionFile versions;
  versions.SelectVersionFile(module.m_strVersionListUrl);
  versions.StoreVersionList();
  WriteUninstallEntry();
  OnConfirm();
}

void CHovaneInstall::OnManualInstall() {
  if (PanelRunning()) return;
  const platform::BrowserWindowRequest page{ServicePageUrl(kManualInstallPagePath),
                                            kManualInstallWindowWidth,
                                            kManualInstallWindowHeight};
  if (!platform::OpenBrowserWindow(page)) {
    platform::ShowMessage(Text(TextId::kTextBrowserFailed), Text(TextId::kTextModuleTitle));
  }
  EndDialog();
}

void CHovaneInstall::SetUpdateSucceeded(std::int32_t value) {
  TheModule().m_bUpdateSucceeded.store(value);
}

void CHovaneInstall::OnDestroy() {
  if (m_bDestroyed) return;
  m_bDestroyed = true;
  DestroyPanel();
  TheModule().FreeFetchList();
  TheModule().m_bInstallDialogOpen = 0;
}

void CHovaneInstall::paintEvent(QPaintEvent*) {
  if (isMinimized() || !m_bPaintState) return;
  const QImage* picture = nullptr;
  if (m_nState == kInstallStarting) picture = &m_bmpStarting;
  if (m_nState == kInstallCompleted) picture = &m_bmpCompleted;
  if (m_nState == kInstallNotCompleted) picture = &m_bmpNotCompleted;
  if (picture == nullptr) return;
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), *picture);
}

void CHovaneInstall::keyPressEvent(QKeyEvent* event) {
  // The dialog manager's commands: Enter confirms, Escape cancels. Keys that
  // a focused skinned button swallows never get here.
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    accept();
    return;
  }
  if (plain && event->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CHovaneInstall::accept() { OnConfirm(); }

void CHovaneInstall::reject() { OnManualInstall(); }

void CHovaneInstall::EndDialog() {
  m_bEnded = true;
  QDialog::done(QDialog::Rejected);
}

void CHovaneInstall::DestroyPanel() {
  if (!m_pPanel) return;
  m_pPanel->hide();
  m_pPanel.reset();
}

bool CHovaneInstall::PanelRunning() const {
  return m_pPanel != nullptr && m_pPanel->m_bRunning.load() != 0;
}

std::uintptr_t CHovaneInstall::WindowIdentity() const {
  return reinterpret_cast<std::uintptr_t>(static_cast<const QWidget*>(this));
}

}  // namespace hovane
