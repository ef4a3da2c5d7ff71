// The elevation moniker with real processes: the probe class created in a
// real hovane-surrogate, called through its proxy, released, killed; the
// registrations and monikers that are refused; and the consent step for a
// user without rights to the prefix (run through setpriv).
#include "platform/component/elevation.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/temp_prefix.h"
#include "platform/elevation_probe.h"
#include "platform/registry/registry.h"

namespace hovane::test {
namespace {

namespace fs = std::filesystem;
using platform::ComPtr;
using platform::RegAccess;
using platform::RegistryHive;
using platform::RegistryKey;
using platform::RegStatus;
using platform::Variant;

constexpr char kModulePath[] = "C:\\windows\\system32\\elevation_probe.so";

std::u16string Wide(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

std::u16string ProbeMoniker(std::string_view prefix = "Elevation:Administrator!new:") {
  return Wide(prefix) + Wide(platform::FormatGuid(kClsidElevationProbe));
}

const char* ClassesOf(RegistryHive hive) {
  return hive == RegistryHive::LocalMachine ? "SOFTWARE\\Classes\\" : "Software\\Classes\\";
}

RegistryKey CreateKey(RegistryHive hive, const std::string& subKey) {
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Root(hive).Create(ClassesOf(hive) + subKey, RegAccess::All, &key),
            RegStatus::Ok)
      << subKey;
  return key;
}

std::string ClassKey() { return "CLSID\\" + platform::FormatGuid(kClsidElevationProbe); }
std::string AppIdKey() { return "AppID\\" + platform::FormatGuid(kAppIdElevationProbe); }

// The probe's class as a module registers it for elevation, in one hive;
// its proxy class always in the user's classes.
void RegisterProbe(RegistryHive hive) {
  RegistryKey cls = CreateKey(hive, ClassKey());
  cls.SetString("", "Elevation probe");
  cls.SetString("AppID", platform::FormatGuid(kAppIdElevationProbe));
  cls.SetString("LocalizedString", std::string("@") + kModulePath + ",-101");
  RegistryKey server = CreateKey(hive, ClassKey() + "\\InprocServer32");
  server.SetString("", kModulePath);
  server.SetString("ThreadingModel", "Apartment");
  CreateKey(hive, ClassKey() + "\\Elevation").SetDword("Enabled", 1);
  RegistryKey app = CreateKey(hive, AppIdKey());
  app.SetString("", "Elevation probe");
  app.SetString("DllSurrogate", "");

  const std::string iid = platform::FormatGuid(kIidElevationProbe);
  CreateKey(RegistryHive::CurrentUser, "Interface\\" + iid + "\\ProxyStubClsid32")
      .SetString("", iid);
  CreateKey(RegistryHive::CurrentUser, "CLSID\\" + iid + "\\InprocServer32")
      .SetString("", kModulePath);
}

void Unregister() {
  for (RegistryHive hive : {RegistryHive::LocalMachine, RegistryHive::CurrentUser}) {
    RegistryKey root = RegistryKey::Root(hive);
    root.DeleteTree(ClassesOf(hive) + ClassKey());
    root.DeleteTree(ClassesOf(hive) + AppIdKey());
  }
}

bool ProcessGone(pid_t process) { return ::kill(process, 0) != 0 && errno == ESRCH; }

class ElevationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(ELEVATION_PROBE_MODULE, prefix_.Host(kModulePath));
    RegisterProbe(RegistryHive::LocalMachine);
  }

  ComPtr<IElevationProbe> Bind(HRESULT expected = S_OK) {
    ComPtr<IElevationProbe> probe;
    EXPECT_EQ(platform::BindToObject(ProbeMoniker(), kIidElevationProbe, probe.Out()), expected);
    EXPECT_EQ(static_cast<bool>(probe), expected == S_OK);
    return probe;
  }

  std::string ReleasedMarker() const {
    return ReadHostFile(prefix_.root() + "/" + kProbeReleasedMarker);
  }

  TempPrefix prefix_;
};

TEST_F(ElevationTest, CallsReachTheProbeInASurrogateProcessBothWays) {
  // The moniker's prefix is compared without regard to case.
  ComPtr<IElevationProbe> probe;
  ASSERT_EQ(platform::BindToObject(ProbeMoniker("eLEVATION:administrator!NEW:"), kIidElevationProbe,
                                   probe.Out()),
            S_OK);
  std::int32_t process = 0;
  ASSERT_EQ(probe->ProcessId(&process), S_OK);
  EXPECT_NE(process, ::getpid());
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(process) + "/exe").filename(),
            "hovane-surrogate");

  EXPECT_EQ(probe->SetText(u"호바네 update"), S_OK);
  std::u16string text;
  EXPECT_EQ(probe->GetText(1, &text), S_OK);
  EXPECT_EQ(text, u"호바네 UPDATE");
  EXPECT_EQ(probe->GetText(0, &text), S_OK);
  EXPECT_EQ(text, u"호바네 update");
  VARIANT_BOOL result = 7;
  EXPECT_EQ(probe->Negate(0, &result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(probe->Negate(1, &result), S_FALSE);
  EXPECT_EQ(result, 0);

  // A modal dialog inside a call, on the surrogate's offscreen platform;
  // the channel works on afterwards.
  VARIANT_BOOL ran = 0;
  EXPECT_EQ(probe->RunDialog(&ran), S_OK);
  EXPECT_EQ(ran, 1);

  // Late-bound: names and argument checks are answered by the object.
  ComPtr<platform::IDispatch> dispatch;
  ASSERT_EQ(probe->QueryInterface(platform::kIidIDispatch, dispatch.Out()), S_OK);
  std::int32_t dispid = 0;
  EXPECT_EQ(dispatch->GetIDOfName(u"gettext", &dispid), S_OK);
  EXPECT_EQ(dispid, kDispGetText);
  EXPECT_EQ(dispatch->GetIDOfName(u"Missing", &dispid), DISP_E_UNKNOWNNAME);
  std::vector<Variant> wrongType = {Variant::String(u"yes"), Variant{}};
  EXPECT_EQ(dispatch->Invoke(kDispNegate, wrongType), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dispatch->Invoke(99, {}), DISP_E_MEMBERNOTFOUND);
  std::vector<Variant> args = {Variant::Bool(1), Variant{}};
  EXPECT_EQ(dispatch->Invoke(kDispGetText, args), S_OK);
  EXPECT_EQ(args[1], Variant::String(u"호바네 UPDATE"));

  // The last reference ends the surrogate, after it released the probe.
  EXPECT_EQ(ReleasedMarker(), "");
  dispatch.Reset();
  probe.Reset();
  EXPECT_TRUE(ProcessGone(process));
  EXPECT_EQ(ReleasedMarker(), "released\n");
}

TEST_F(ElevationTest, AKilledSurrogateBreaksTheNextCall) {
  ComPtr<IElevationProbe> probe = Bind();
  ASSERT_TRUE(probe);
  std::int32_t process = 0;
  ASSERT_EQ(probe->ProcessId(&process), S_OK);
  ASSERT_EQ(::kill(process, SIGKILL), 0);
  VARIANT_BOOL result = 5;
  EXPECT_EQ(probe->Negate(0, &result), RPC_E_DISCONNECTED);
  EXPECT_EQ(probe->SetText(u"again"), RPC_E_DISCONNECTED);
  probe.Reset();
  EXPECT_TRUE(ProcessGone(process));
}

TEST_F(ElevationTest, AClassNotRegisteredForElevationIsDeclined) {
  struct Row {
    const char* name;
    std::function<void()> change;
  };
  auto machineClass = [] {
    RegistryKey key;
    EXPECT_EQ(platform::OpenRegistryKey(RegistryHive::LocalMachine,
                                        ClassesOf(RegistryHive::LocalMachine) + ClassKey(),
                                        RegAccess::All, &key),
              RegStatus::Ok);
    return key;
  };
  const Row rows[] = {
      {"no Elevation key", [&] { machineClass().DeleteTree("Elevation"); }},
      {"Enabled = 0",
       [] {
         CreateKey(RegistryHive::LocalMachine, ClassKey() + "\\Elevation").SetDword("Enabled", 0);
       }},
      {"Enabled as text",
       [] {
         CreateKey(RegistryHive::LocalMachine, ClassKey() + "\\Elevation")
             .SetString("Enabled", "1");
       }},
      {"no Enabled value",
       [] {
         CreateKey(RegistryHive::LocalMachine, ClassKey() + "\\Elevation").DeleteValue("Enabled");
       }},
      {"no AppID value", [&] { machineClass().DeleteValue("AppID"); }},
      {"an AppID without its key",
       [] {
         RegistryKey::Root(RegistryHive::LocalMachine)
             .DeleteTree(ClassesOf(RegistryHive::LocalMachine) + AppIdKey());
       }},
      {"an AppID key without DllSurrogate",
       [] { CreateKey(RegistryHive::LocalMachine, AppIdKey()).DeleteValue("DllSurrogate"); }},
      {"no LocalizedString", [&] { machineClass().DeleteValue("LocalizedString"); }},
      {"an empty LocalizedString", [&] { machineClass().SetString("LocalizedString", ""); }},
      {"registered in the user's classes only",
       [] {
         Unregister();
         RegisterProbe(RegistryHive::CurrentUser);
       }},
      {"not registered at all", [] { Unregister(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Unregister();
    RegisterProbe(RegistryHive::LocalMachine);
    row.change();
    EXPECT_FALSE(platform::IsRegisteredForElevation(kClsidElevationProbe));
    Bind(kStatusCancelled);
  }
  // Back as registered, it is created again.
  Unregister();
  RegisterProbe(RegistryHive::LocalMachine);
  EXPECT_TRUE(platform::IsRegisteredForElevation(kClsidElevationProbe));
  EXPECT_TRUE(Bind());
}

TEST_F(ElevationTest, AMalformedMonikerIsASyntaxError) {
  const std::string id = platform::FormatGuid(kClsidElevationProbe);
  const std::string rows[] = {
      "",
      "Elevation:Administrator!new:",
      "Elevation:Administrator!new:" + id.substr(1, 36),
      "Elevation:Administrator!new:" + id + " ",
      " Elevation:Administrator!new:" + id,
      "Elevation:Administrator!new:" + id.substr(0, 37) + "0}",
      "Elevation:Administrator!new:{3F0A51C2-6D1E-4B7A-9C20-415E8B7702DG}",
      "Elevation:Administrator!new:{3F0A51C2+6D1E-4B7A-9C20-415E8B7702D1}",
      "Elevation:Highest!new:" + id,
      "Elevation:Administrator!clsid:" + id,
      "Elevation:Administrator:new:" + id,
      "new:" + id,
      id,
  };
  for (const std::string& moniker : rows) {
    SCOPED_TRACE(moniker);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(platform::BindToObject(Wide(moniker), kIidElevationProbe, &object), MK_E_SYNTAX);
    EXPECT_EQ(object, nullptr);
  }
  // A character outside ASCII in the class id.
  std::u16string wide = ProbeMoniker();
  wide[wide.size() - 2] = u'１';
  void* object = nullptr;
  EXPECT_EQ(platform::BindToObject(wide, kIidElevationProbe, &object), MK_E_SYNTAX);
}

TEST_F(ElevationTest, TheSurrogatesCreationFailureComesBack) {
  struct Row {
    const char* name;
    const char* serverPath;  // nullptr: no InprocServer32 key
    HRESULT expected;
  };
  const Row rows[] = {
      {"a module that is not there", "C:\\windows\\system32\\missing.so", CO_E_DLLNOTFOUND},
      {"no InprocServer32", nullptr, REGDB_E_CLASSNOTREG},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RegistryKey root = RegistryKey::Root(RegistryHive::LocalMachine);
    root.DeleteTree(std::string(ClassesOf(RegistryHive::LocalMachine)) + ClassKey() +
                    "\\InprocServer32");
    if (row.serverPath)
      CreateKey(RegistryHive::LocalMachine, ClassKey() + "\\InprocServer32")
          .SetString("", row.serverPath);
    Bind(row.expected);
  }
}

TEST_F(ElevationTest, TheInterfaceNeedsAProxyClassButIDispatchDoesNot) {
  RegistryKey::Root(RegistryHive::CurrentUser)
      .DeleteTree("Software\\Classes\\Interface\\" + platform::FormatGuid(kIidElevationProbe));
  Bind(REGDB_E_IIDNOTREG);

  ComPtr<platform::IDispatch> channel;
  ASSERT_EQ(platform::BindToObject(ProbeMoniker(), platform::kIidIDispatch, channel.Out()), S_OK);
  std::vector<Variant> args = {Variant::Bool(0), Variant{}};
  EXPECT_EQ(channel->Invoke(kDispNegate, args), S_OK);
  EXPECT_EQ(args[1], Variant::Bool(1));
}

TEST(SurrogateProgramTest, BadArgumentsGetAClearError) {
  struct Row {
    std::string args;
    int exitCode;
    std::string says;
  };
  const std::string id = platform::FormatGuid(kClsidElevationProbe);
  const Row rows[] = {
      {"--help", 0, "usage: hovane-surrogate --clsid {CLASS-ID} --channel FD"},
      {"", 2, "no --clsid given"},
      {"--clsid", 2, "--clsid needs a value"},
      {"--clsid nope --channel 3", 2, "not a class id: nope"},
      {"--clsid " + id, 2, "no --channel given"},
      {"--clsid " + id + " --channel three", 2, "not a descriptor number: three"},
      {"--clsid " + id + " --channel 0", 2, "descriptor 0 is not a connected socket"},
      {"--clsid " + id + " --channel 0 --verbose", 2, "unknown argument --verbose"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    ChildProcess surrogate("/bin/sh",
                           {"sh", "-c", std::string(SURROGATE_PROGRAM) + " " + row.args + " 2>&1"});
    ASSERT_TRUE(surrogate.Started());
    const std::string output = surrogate.ReadAll();
    const int status = surrogate.Wait();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), row.exitCode) << output;
    EXPECT_NE(output.find(row.says), std::string::npos) << output;
  }
}

// Consent needs real rights: the helper runs as user 65534 against a
// prefix whose machine areas belong to it, except the area of the row.
TEST_F(ElevationTest, AUserWhoMayNotWriteAMachineAreaIsDeclinedWithANote) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a helper as another user (setpriv)";
  if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is missing";
  constexpr uid_t kNobody = 65534;

  const std::string bin = prefix_.root() + "/bin";
  fs::create_directories(bin);
  fs::copy_file(ELEVATION_CONSENT_HELPER, bin + "/elevation_consent_helper");
  fs::copy_file(PLATFORM_LIBRARY, bin + "/" + fs::path(PLATFORM_LIBRARY).filename().string());
  test::ChildEnvironment env({"LD_LIBRARY_PATH=" + bin});

  auto giveEverything = [&](uid_t owner) {
    ASSERT_EQ(::chown(prefix_.root().c_str(), owner, owner), 0);
    ::chmod(prefix_.root().c_str(), 0755);
    for (const auto& entry : fs::recursive_directory_iterator(prefix_.root())) {
      ASSERT_EQ(::lchown(entry.path().c_str(), owner, owner), 0);
      ::chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
    }
    ::chmod((bin + "/elevation_consent_helper").c_str(), 0755);
  };
  struct Row {
    const char* area;  // "" keeps every area the user's
    const char* mayWrite;
  };
  const Row rows[] = {
      {"", "may-write 1"},
      {"registry", "may-write 0"},
      {"registry/machine.db", "may-write 0"},
      {"drive_c/Program Files", "may-write 0"},
      {"drive_c/windows", "may-write 0"},
      {"drive_c/windows/system32", "may-write 0"},
      {"drive_c/windows/Downloaded Program Files", "may-write 0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.area);
    giveEverything(kNobody);
    std::vector<std::string> args = {"setpriv",
                                     "--reuid=65534",
                                     "--regid=65534",
                                     "--clear-groups",
                                     "--",
                                     bin + "/elevation_consent_helper",
                                     prefix_.root()};
    const bool declined = *row.area != '\0';
    if (declined) {
      ASSERT_EQ(::chown((prefix_.root() + "/" + row.area).c_str(), 0, 0), 0);
      args.push_back("Elevation:Administrator!new:" + platform::FormatGuid(kClsidElevationProbe));
    }
    ChildProcess helper("/usr/bin/setpriv", args, env.envp());
    ASSERT_TRUE(helper.Started());
    const std::string output = helper.ReadAll();
    EXPECT_EQ(WEXITSTATUS(helper.Wait()), 0) << output;
    EXPECT_NE(output.find(row.mayWrite), std::string::npos) << output;
    if (declined) {
      EXPECT_NE(output.find("bind 800704C7"), std::string::npos) << output;
      EXPECT_NE(output.find("the prefix " + prefix_.root() + " needs administrator rights"),
                std::string::npos)
          << output;
    }
  }
  giveEverything(0);
  // This process may write every area; the check says so.
  EXPECT_TRUE(platform::MayWriteMachineAreas(prefix_.root()));
}

}  // namespace
}  // namespace hovane::test
