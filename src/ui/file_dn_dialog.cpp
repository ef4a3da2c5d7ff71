#include "ui/file_dn_dialog.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTimerEvent>
#include <QWindow>

#include "ui/dialog_units.h"
#include "ui/gui_thread.h"
#include "ui/pictures.h"
#include "ui/widget_support.h"

namespace hovane {
namespace {

std::atomic<platform::ConsoleProgress*> g_consoleMirror{nullptr};

}  // namespace

void CFileDnDialog::SetConsoleMirror(platform::ConsoleProgress* mirror) { g_consoleMirror = mirror; }

CFileDnDialog::CFileDnDialog(ProgressPanelParent* parent)
    : m_progress(this), m_lblInstalling(this), m_lblFileName(this), m_pParent(parent) {
  hide();
}

CFileDnDialog::~CFileDnDialog() {
  if (m_pThread) m_pThread->Join();
}

bool CFileDnDialog::Create(ProgressPanelParent* parent) {
  if (parent == nullptr) parent = m_pParent;
  if (m_bCreated || parent == nullptr || parent->PanelParentWindow() == nullptr) return false;
  m_pParent = parent;

  // Layout 106: a borderless child, 230 x 147 units, hidden until shown.
  setParent(parent->PanelParentWindow());
  setGeometry(ui::DialogRect(0, 0, 230, 147));
  setFont(ui::DialogFont());
  m_lblInstalling.setGeometry(ui::DialogRect(81, 56, 24, 8));
  m_lblInstalling.SetWindowText(QString::fromUtf8(kInstallingLabel));
  m_lblFileName.setGeometry(ui::DialogRect(110, 55, 103, 8));
  m_progress.Create(this, ui::DialogRect(75, 79, 147, 9), true);
  m_bCreated = true;
  return OnInitDialog();
}

bool CFileDnDialog::OnInitDialog() {
  if (m_bmpBackground.isNull()) m_bmpBackground = ui::LoadPicture(ui::kPictureInProgress);
  m_lblFileName.SetBackgroundColor(Qt::white);
  m_lblInstalling.SetBackgroundColor(Qt::white);
  return true;
}

void CFileDnDialog::SetServerInfo(std::string_view serverId, std::string_view serverIp,
                                  std::string_view userId, std::int32_t port) {
  m_serverInfo.m_strServerId = serverId;
  m_serverInfo.m_strServerIp = serverIp;
  m_serverInfo.m_strUserId = userId;
  m_serverInfo.m_nPort = port;
}

void CFileDnDialog::SetFetchList(FetchRecord* fetchList, std::size_t capacity) {
  m_pFetchList = fetchList;
  m_nFetchListCapacity = capacity;
}

void CFileDnDialog::StartDownload() {
  if (m_pThread) m_pThread->Join();
  m_pThread = std::make_unique<CRecvThread>();
  m_pThread->SetPanel(this);
  m_pThread->SetServerSettings(m_serverInfo.m_strServerId, m_serverInfo.m_strServerIp,
                               m_serverInfo.m_nPort);
  m_pThread->SetUserId(m_serverInfo.m_strUserId);
  m_pThread->SetFetchList(m_pFetchList, m_nFetchListCapacity);
  m_bRunning.store(1);
  m_pThread->Start();
}

void CFileDnDialog::SetFileName(std::string_view text) {
  if (platform::ConsoleProgress* mirror = g_consoleMirror) mirror->SetItem(text);
  const QString shown = ui::NarrowToDisplay(text);
  ui::RunOnThreadOf(this, [this, &shown] {
    if (!m_bCreated) return;
    m_lblFileName.SetWindowText(shown);
    m_lblFileName.repaint();
  });
}

void CFileDnDialog::SetTextVisible(bool visible) { m_progress.SetTextVisible(visible); }

void CFileDnDialog::SetBarRange(std::int32_t lower, std::int32_t upper) {
  if (platform::ConsoleProgress* mirror = g_consoleMirror) mirror->SetRange(lower, upper);
  m_progress.SetBarRange(lower, upper);
}

std::int32_t CFileDnDialog::SetBarPosition(std::int32_t position) {
  if (platform::ConsoleProgress* mirror = g_consoleMirror) mirror->SetPosition(position);
  return m_progress.SetBarPosition(position);
}

void CFileDnDialog::SetUpdateSucceeded(std::int32_t value) {
  ui::RunOnThreadOf(this, [this, value] {
    if (m_pParent != nullptr) m_pParent->SetUpdateSucceeded(value);
  });
}

void CFileDnDialog::BringDialogToFront() {
  ui::RunOnThreadOf(this, [this] {
    if (!m_bCreated) return;
    QWidget* dialog = m_pParent->PanelParentWindow()->window();
    // Changing a shown window's flags through QWidget would hide it; the
    // platform window takes the flag in place, and the widget is told
    // without a round trip to the window system.
    dialog->overrideWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
    if (QWindow* handle = dialog->windowHandle()) handle->setFlag(Qt::WindowStaysOnTopHint, true);
    // The offscreen platform has no stacking order to change.
    if (QGuiApplication::platformName() != QStringLiteral("offscreen")) dialog->raise();
    dialog->setFocus(Qt::OtherFocusReason);
  });
}

std::uintptr_t CFileDnDialog::MessageBoxOwner() const {
  return reinterpret_cast<std::uintptr_t>(static_cast<const QWidget*>(this));
}

void CFileDnDialog::SignalThreadEnd() {
  if (platform::ConsoleProgress* mirror = g_consoleMirror) mirror->Finish();
  // The flag is cleared on the GUI thread in the same step that starts the
  // timer: cleared from here after the call returned, a receive thread held
  // up for longer than the timer's interval would let the timer fire, and
  // the parent act on the end, while the panel still counted as running.
  ui::RunOnThreadOf(this, [this] {
    SetTimer(kEndTimerId, kEndTimerMilliseconds);
    m_bRunning.store(0);
  });
}

void CFileDnDialog::SetTimer(unsigned id, int milliseconds) {
  m_timers[id].start(milliseconds, this);
}

void CFileDnDialog::KillTimer(unsigned id) { m_timers.erase(id); }

bool CFileDnDialog::IsTimerRunning(unsigned id) const {
  auto timer = m_timers.find(id);
  return timer != m_timers.end() && timer->second.isActive();
}

void CFileDnDialog::timerEvent(QTimerEvent* event) {
  for (const auto& [id, timer] : m_timers) {
    if (timer.timerId() == event->timerId()) {
      OnTimer(id);
      return;
    }
  }
  QWidget::timerEvent(event);
}

void CFileDnDialog::OnTimer(unsigned id) {
  if (id != kEndTimerId) return;
  KillTimer(kEndTimerId);
  if (m_pParent != nullptr) m_pParent->OnDownloadFinished();
}

void CFileDnDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_pParent != nullptr && !m_pParent->PaintState()) {
    painter.drawImage(QPoint(0, 0), m_bmpBackground);
  } else {
    painter.fillRect(rect(), palette().window());
  }
}

}  // namespace hovane
