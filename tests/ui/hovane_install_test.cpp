// The install dialog through its four states, against the reference file
// server and an HTTP server for the version list, with real client programs
// (windows on an X server of the test's own) for the running-program check.
// Message boxes go to the scripted responder and the manual-installation
// page to a recording opener.
#include "ui/hovane_install.h"

#include <QChildEvent>
#include <QShowEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/locations.h"
#include "catalogue/option_file.h"
#include "control/settings.h"
#include "fixtures/child_process.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "fixtures/x_server.h"
#include "install/uninstall_entry.h"
#include "platform/browser/browser.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "platform/registry/registry.h"
#include "transfer/file_server_process.h"
#include "ui/pictures.h"
#include "ui/qt_test_support.h"

namespace hovane {
namespace {

using platform::MessageBoxRequest;
using test::Narrow;
using test::Pixels;
using test::WaitUntil;

class RecordingOpener : public platform::BrowserOpener {
 public:
  bool Open(const platform::BrowserWindowRequest& request) override {
    opened.push_back(request);
    return answer;
  }
  std::vector<platform::BrowserWindowRequest> opened;
  bool answer = true;
};

// The dialog with what a test needs to see of it: the states it painted its
// own picture in, how often the Install button was shown, the panels it
// made, and its protected commands.
class ObservedInstall : public CHovaneInstall {
 public:
  ObservedInstall() { m_btnStart.installEventFilter(this); }

  std::vector<std::int32_t> paintedStates;
  int installButtonShows = 0;
  // Progress panels made, one for every start of the download.
  int panelsMade = 0;

  using CHovaneInstall::OnConfirm;
  using CHovaneInstall::OnManualInstall;

  bool PanelRunning() const { return m_pPanel && m_pPanel->m_bRunning.load() != 0; }

 protected:
  void paintEvent(QPaintEvent* event) override {
    CHovaneInstall::paintEvent(event);
    if (m_bPaintState) paintedStates.push_back(m_nState);
  }
  void childEvent(QChildEvent* event) override {
    if (event->added() && dynamic_cast<CFileDnDialog*>(event->child()) != nullptr) ++panelsMade;
    CHovaneInstall::childEvent(event);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &m_btnStart && event->type() == QEvent::Show) ++installButtonShows;
    return CHovaneInstall::eventFilter(watched, event);
  }
};

// A port on 127.0.0.1 that refuses connections for the life of the object:
// a socket bound to it that does not listen. Being bound, the port cannot
// also be picked as the source port of a connection to it, which would
// connect the connection to itself.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { close(fd_); }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  std::int32_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::int32_t port_ = 0;
};

// A client program running under argv0 with a window on the test's X
// server, until the object ends.
class ClientProgram {
 public:
  explicit ClientProgram(const std::string& argv0) : process_(WINDOW_HELPER, {argv0, "mapped"}) {
    std::istringstream ready(process_.ReadLine().value_or(""));
    std::string word;
    ready >> word;
    ok_ = word == "ready";
  }
  bool ok() const { return ok_; }

 private:
  test::ChildProcess process_;
  bool ok_ = false;
};

class InstallDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetSystemCodePage(949));
    previousBoxes_ = platform::SetMessageBoxService(&boxes_);
    previousOpener_ = platform::SetBrowserOpener(&opener_);
    files_ = prefix_.root() + "/served";
    std::filesystem::create_directories(files_);
  }
  void TearDown() override {
    platform::SetMessageBoxService(previousBoxes_);
    platform::SetBrowserOpener(previousOpener_);
    CHoVaneUpdateModule& module = TheModule();
    module.FreeFetchList();
    module.m_bInstallDialogOpen = 0;
    module.m_bInstallResult = 0;
    module.m_bUpdateSucceeded = 0;
  }

  // The control settings as the version check leaves them: a fetch list of
  // names (as the list names them) and the file server at port.
  void PrepareUpdate(const std::vector<std::string>& names, std::int32_t port) {
    CHoVaneUpdateModule& module = TheModule();
    module.FreeFetchList();
    module.AllocFetchList(names.size());
    module.m_pFetchList[0].nCount = static_cast<std::int32_t>(names.size());
    module.m_bExeInFetchList = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::strncpy(module.m_pFetchList[i].szName, names[i].c_str(), kFetchNameSize - 1);
      if (names[i].ends_with(".exe")) module.m_bExeInFetchList = 1;
    }
    module.m_serverInfo = {"server1", "127.0.0.1", "tester", port};
    module.m_bInstallResult = 0;
    module.m_bUpdateSucceeded = 0;
    module.m_strVersionListUrl = http_.Url("/version/version.html");
  }

  void Serve(const std::string& name, const std::string& content) {
    test::WriteHostFile(files_ + "/" + name, content);
  }

  // Runs the dialog modally; script runs once its loop is up. False when
  // the dialog did not end within the bound (it is then ended by force).
  bool RunModal(ObservedInstall& dialog, std::function<void()> script = {}) {
    bool timedOut = false;
    if (script) QTimer::singleShot(0, &dialog, script);
    QTimer::singleShot(120'000, &dialog, [&] {
      timedOut = true;
      dialog.done(QDialog::Rejected);
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    return !timedOut;
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : boxes_.Shown()) texts.push_back(box.text);
    return texts;
  }

  // The manual-installation page was opened once, in its own window size.
  void ExpectManualPageOpened() const {
    ASSERT_EQ(opener_.opened.size(), 1u);
    EXPECT_EQ(opener_.opened[0].url, "http://www.hovane.net/popup/activex_mainpop.jsp");
    EXPECT_EQ(opener_.opened[0].width, 550);
    EXPECT_EQ(opener_.opened[0].height, 700);
  }

  // Once the dialog has closed, the fetch list is gone and the dialog no
  // longer counts as open.
  static void ExpectClosedCleanly() {
    EXPECT_EQ(TheModule().m_pFetchList, nullptr);
    EXPECT_EQ(TheModule().FetchListCapacity(), 0u);
    EXPECT_EQ(TheModule().m_bInstallDialogOpen, 0);
  }

  test::TempPrefix prefix_;
  test::HttpTestServer http_;
  RefusingPort refusing_;
  std::string files_;
  platform::ScriptedMessageBoxes boxes_;
  RecordingOpener opener_;
  platform::MessageBoxService* previousBoxes_ = nullptr;
  platform::BrowserOpener* previousOpener_ = nullptr;
};

TEST_F(InstallDialogTest, LaysOutLayout105WithACaptionAndNoCloseBox) {
  ObservedInstall dialog;
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("설치 - 호바네 프로그램"));
  EXPECT_EQ(dialog.size(), QSize(404, 250));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(dialog.m_btnStart.geometry(), QRect(303, 214, 75, 23));
  EXPECT_EQ(dialog.m_btnManual.geometry(), QRect(303, 214, 75, 23));
  EXPECT_FALSE(dialog.m_btnManual.isVisibleTo(&dialog));
  const Qt::WindowFlags flags = dialog.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(dialog.isModal());
  // Nothing is touched before the dialog runs.
  EXPECT_EQ(TheModule().m_bInstallDialogOpen, 0);
}

// A client program that must be replaced is running: the message first,
// then the about-to-start state with the Install button; Install while it
// still runs repeats the message; Escape opens the manual-installation page
// (or, when no browser can be started, says so) and ends the dialog.
TEST_F(InstallDialogTest, ARunningProgramHoldsTheStartUntilTheUserActs) {
  test::XServer server(false);
  REQUIRE_X_SERVER(server);
  const std::string program = "Hv" + std::to_string(getpid()) + "Client.exe";
  ClientProgram running("/opt/client/" + program);
  ASSERT_TRUE(running.ok());
  const std::string closePrograms =
      Narrow("실행중인 모든 호바네 업로드, 다운로드 프로그램을 종료해 주십시오.");
  struct Row {
    bool browserStarts;
    std::vector<std::string> messagesAfterEscape;
  };
  const Row rows[] = {{true, {}}, {false, {Narrow("익스플로러 개체 생성에 실패했습니다.")}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.browserStarts ? "with a browser" : "without a browser");
    boxes_.Clear();
    opener_.opened.clear();
    opener_.answer = row.browserStarts;
    PrepareUpdate({"HoVane.ocx", program, "HoVane.ico"}, refusing_.port());

    ObservedInstall dialog;
    QImage startingPixels;
    std::vector<std::string> messagesAtStart, messagesAfterInstall;
    bool dialogOpenWhileShown = false;
    ASSERT_TRUE(RunModal(dialog, [&] {
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
      dialogOpenWhileShown = TheModule().m_bInstallDialogOpen == 1;
      messagesAtStart = BoxTexts();
      startingPixels = Pixels(dialog);
      QTest::mouseClick(&dialog.m_btnStart, Qt::LeftButton, {}, QPoint(37, 11));
      messagesAfterInstall = BoxTexts();
      // Escape reaches the dialog even though the button was clicked last.
      dialog.setFocus();
      QTest::keyClick(&dialog, Qt::Key_Escape);
    }));

    EXPECT_TRUE(dialogOpenWhileShown);
    EXPECT_EQ(messagesAtStart, std::vector<std::string>{closePrograms});
    EXPECT_EQ(messagesAfterInstall, (std::vector<std::string>{closePrograms, closePrograms}));
    ASSERT_GE(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].caption, Narrow("알림"));
    EXPECT_EQ(boxes_.Shown()[0].icon, platform::MessageBoxIcon::Error);
    EXPECT_EQ(boxes_.Shown()[0].owner,
              reinterpret_cast<std::uintptr_t>(static_cast<QWidget*>(&dialog)));
    std::vector<std::string> expected = {closePrograms, closePrograms};
    expected.insert(expected.end(), row.messagesAfterEscape.begin(),
                    row.messagesAfterEscape.end());
    EXPECT_EQ(BoxTexts(), expected);
    if (!row.browserStarts) {
      EXPECT_EQ(boxes_.Shown().back().caption, "HoVaneUpdate");
    }

    // About to start: picture 219 with the Install button, no panel.
    EXPECT_GE(dialog.installButtonShows, 1);
    EXPECT_EQ(dialog.panelsMade, 0);
    EXPECT_EQ(dialog.m_nState, kInstallStarting);
    const QImage starting = ui::LoadPicture(ui::kPictureStarting).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(startingPixels.copy(0, 0, 404, 210), starting.copy(0, 0, 404, 210));
    const QImage install = ui::LoadPicture(ui::kPictureInstallNormal).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(startingPixels.copy(303, 214, 75, 23), install.copy(0, 0, 75, 23));

    ExpectManualPageOpened();
    ExpectClosedCleanly();
  }
}

TEST_F(InstallDialogTest, WithoutAProgramInTheListTheDownloadStartsAtOnceAndCompletes) {
  Serve("HoVane.ico", std::string(40000, 'i'));
  Serve("readme.txt", "hello");
  test::FileServerProcess fileServer(files_);
  http_.Serve("/version/version.html", "HoVane.ico:1,0,0,2\nreadme.txt:3,1\n");
  PrepareUpdate({"HoVane.ico", "readme.txt"}, fileServer.port());

  ObservedInstall dialog;
  bool panelShownAtOnce = false;
  // Nothing is pressed: the dialog ends by itself.
  ASSERT_TRUE(RunModal(dialog, [&] {
    panelShownAtOnce = dialog.m_pPanel != nullptr && dialog.m_pPanel->isVisibleTo(&dialog);
  }));

  EXPECT_TRUE(panelShownAtOnce);
  EXPECT_EQ(dialog.installButtonShows, 0);
  EXPECT_EQ(dialog.panelsMade, 1);
  EXPECT_TRUE(BoxTexts().empty()) << BoxTexts().front();
  // The completed picture was painted, and nothing after it.
  ASSERT_FALSE(dialog.paintedStates.empty());
  EXPECT_EQ(dialog.paintedStates.back(), kInstallCompleted);
  EXPECT_EQ(dialog.m_btnStart.GetSkinSet(), 1);
  EXPECT_FALSE(dialog.m_btnManual.isVisibleTo(&dialog));
  EXPECT_TRUE(opener_.opened.empty());
  EXPECT_EQ(TheModule().m_bUpdateSucceeded.load(), 1);

  // The installed files, the server's versions and the uninstall entry.
  EXPECT_EQ(test::ReadHostFile(prefix_.Host(GetInstallFolder() + "\\readme.txt")), "hello");
  COptionFile versions;
  versions.SelectVersionFile(TheModule().m_strVersionListUrl);
  EXPECT_EQ(versions.GetOptionValue("File1", "FileName"), "HoVane.ico");
  EXPECT_EQ(versions.GetOptionValue("File1", "Version"), "1,0,0,2");
  EXPECT_EQ(versions.GetOptionValue("File2", "Version"), "3,1");
  platform::RegistryKey entry;
  ASSERT_EQ(platform::OpenRegistryKey(platform::RegistryHive::LocalMachine,
                                      std::string(kUninstallParentKey) + "\\" + kUninstallKeyName,
                                      platform::RegAccess::Read, &entry),
            platform::RegStatus::Ok);
  std::string helpLink;
  EXPECT_EQ(entry.QueryString("HelpLink", &helpLink), platform::RegStatus::Ok);
  EXPECT_EQ(helpLink, "http://www.hovane.net/customer/customer_faq.jsp");
  ExpectClosedCleanly();
}

// A refused connection: the not-completed state with picture 212 and the OK
// button; Enter starts the download again with a new panel; OK opens the
// manual-installation page and ends the dialog.
TEST_F(InstallDialogTest, AFailedRunOffersTheManualInstallationPage) {
  PrepareUpdate({"HoVane.ocx"}, refusing_.port());
  ObservedInstall dialog;
  QImage failedPixels;
  int panelsBeforeEnter = 0, panelsAfterEnter = 0;
  std::vector<std::int32_t> paintedBeforeOk;
  ASSERT_TRUE(RunModal(dialog, [&] {
    ASSERT_TRUE(WaitUntil([&] { return dialog.m_btnManual.isVisible(); }))
        << "running " << dialog.PanelRunning() << ", messages " << BoxTexts().size();
    failedPixels = Pixels(dialog);
    panelsBeforeEnter = dialog.panelsMade;
    dialog.setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    // A new panel, the OK button hidden until this run has failed too.
    panelsAfterEnter = dialog.panelsMade;
    EXPECT_FALSE(dialog.m_btnManual.isVisible());
    ASSERT_TRUE(WaitUntil([&] { return dialog.m_btnManual.isVisible(); }));
    paintedBeforeOk = dialog.paintedStates;
    QTest::mouseClick(&dialog.m_btnManual, Qt::LeftButton, {}, QPoint(37, 11));
  }));

  EXPECT_EQ(dialog.installButtonShows, 0);
  EXPECT_EQ(panelsBeforeEnter, 1);
  EXPECT_EQ(panelsAfterEnter, 2);
  ASSERT_FALSE(paintedBeforeOk.empty());
  EXPECT_EQ(paintedBeforeOk.back(), kInstallNotCompleted);
  EXPECT_EQ(dialog.m_nState, kInstallNotCompleted);
  const QImage notCompleted =
      ui::LoadPicture(ui::kPictureNotCompleted).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(failedPixels.copy(0, 0, 404, 210), notCompleted.copy(0, 0, 404, 210));
  EXPECT_EQ(TheModule().m_bUpdateSucceeded.load(), 0);
  ExpectManualPageOpened();
  ExpectClosedCleanly();
}

// While the receive thread runs, neither command does anything: not
// Escape, not the window manager's close request, not Enter, not a direct
// call.
TEST_F(InstallDialogTest, CommandsAreIgnoredWhileTheDownloadRuns) {
  Serve("HoVane.ico", "icon");
  auto fileServer = std::make_unique<test::FileServerProcess>(
      files_, std::vector<std::string>{"--fault", "stall:list"});
  PrepareUpdate({"HoVane.ico"}, fileServer->port());
  ObservedInstall dialog;
  bool stillOpen = false;
  const CFileDnDialog* panelDuring = nullptr;
  ASSERT_TRUE(RunModal(dialog, [&] {
    ASSERT_TRUE(WaitUntil([&] { return dialog.PanelRunning(); }));
    panelDuring = dialog.m_pPanel.get();
    dialog.setFocus();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    dialog.close();
    dialog.OnManualInstall();
    dialog.OnConfirm();
    QCoreApplication::processEvents();
    stillOpen = dialog.isVisible() && dialog.PanelRunning() && dialog.m_pPanel.get() == panelDuring;
    // The server goes away: the download fails and the dialog waits.
    fileServer.reset();
    ASSERT_TRUE(WaitUntil([&] { return dialog.m_btnManual.isVisible(); }));
    dialog.close();
  }));
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(dialog.panelsMade, 1);
  // Only the close request after the failure opened the page.
  EXPECT_EQ(opener_.opened.size(), 1u);
  ExpectClosedCleanly();
}

// Once on a real X server with a window manager: the dialog's window is
// framed with a caption that carries its title, asks for no close function,
// and shows its picture, as a screenshot of the screen shows.
TEST_F(InstallDialogTest, TheRealWindowHasACaptionAndNoCloseBox) {
  test::XServer server(true);
  REQUIRE_X_SERVER(server);
  const std::string program = "Hv" + std::to_string(getpid()) + "Window.exe";
  ClientProgram running("/opt/client/" + program);
  ASSERT_TRUE(running.ok());

  std::vector<std::string> environment = {"QT_QPA_PLATFORM=xcb", "LC_ALL=C.UTF-8"};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text = *entry;
    if (!text.starts_with("QT_QPA_PLATFORM=") && !text.starts_with("LC_ALL="))
      environment.emplace_back(text);
  }
  std::vector<char*> env;
  for (std::string& entry : environment) env.push_back(entry.data());
  env.push_back(nullptr);

  const std::string png = prefix_.root() + "/install-dialog-window.png";
  test::ChildProcess window(INSTALL_DIALOG_WINDOW, {"install_dialog_window", program, png},
                            env.data(), true);
  ASSERT_TRUE(window.Started());
  std::istringstream shown(window.ReadLine().value_or("failed: no answer"));
  std::string word;
  unsigned long long id = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  shown >> word >> id >> left >> top >> right >> bottom;
  ASSERT_EQ(word, "shown") << shown.str();

  // The frame: a caption above, thin edges elsewhere.
  EXPECT_GT(top, left);
  EXPECT_GT(top, bottom);

  const auto xprop = test::FindOnPath("xprop");
  ASSERT_TRUE(xprop.has_value());
  test::ChildProcess query(*xprop, {"xprop", "-id", std::to_string(id), "_NET_WM_NAME",
                                    "_NET_WM_ALLOWED_ACTIONS", "_MOTIF_WM_HINTS"},
                           env.data());
  const std::string properties = query.ReadAll();
  query.Wait();
  EXPECT_NE(properties.find("설치 - 호바네 프로그램"), std::string::npos) << properties;
  // The window's functions for the window manager: moving, no closing
  // (flags 0x1: functions given; function 0x20: close; 0x1: all). openbox
  // draws its close button whatever a window asks; its close request then
  // is the dialog's cancel command.
  const std::size_t hints = properties.find("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = ");
  ASSERT_NE(hints, std::string::npos) << properties;
  std::istringstream values(properties.substr(hints + 35));
  unsigned long flags = 0, functions = 0;
  char comma = 0;
  values >> std::hex >> flags >> comma >> functions;
  EXPECT_TRUE(flags & 0x1) << properties;
  EXPECT_TRUE(functions & 0x4) << properties;
  EXPECT_FALSE(functions & 0x20) << properties;
  EXPECT_FALSE(functions & 0x1) << properties;

  const QImage shot(QString::fromStdString(png));
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), QSize(left + 404 + right, top + 250 + bottom));
  const QImage starting =
      ui::LoadPicture(ui::kPictureStarting).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shot.convertToFormat(QImage::Format_RGB32).copy(left, top, 404, 200),
            starting.copy(0, 0, 404, 200));
}

}  // namespace
}  // namespace hovane
