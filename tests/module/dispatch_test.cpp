// Late-bound calls: the control's dispatch by name and by id with variant
// arguments, and the typed proxy that turns the fourteen methods back into
// such calls over a channel.
#include <gtest/gtest.h>

#include <functional>

#include "control/installer_interface.h"
#include "module_test_support.h"
#include "platform/component/dispatch.h"
#include "platform/files/files.h"
#include "resources/interface_description.h"

namespace hovane::test {
namespace {

using platform::ComPtr;
using platform::IDispatch;
using platform::Variant;

class Dispatch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(module.registerServer(), S_OK);
    ASSERT_EQ(platform::CreateInstance(kClsidHoVaneUpdateInstaller, platform::kIidIDispatch,
                                       control.Out()),
              S_OK);
    ASSERT_EQ(module.getClassObject(kIidIHoVaneUpdateInstaller, platform::kIidIProxyFactory,
                                    proxies.Out()),
              S_OK);
  }

  TempPrefix prefix;
  ModuleEntries module;
  ComPtr<IDispatch> control;
  ComPtr<platform::IProxyFactory> proxies;
};

TEST_F(Dispatch, NamesAnswerTheirIdsWithoutRegardToCase) {
  for (const auto& method : interface_description::kMethods) {
    const std::u16string name(method.name.begin(), method.name.end());
    std::u16string upper = name, lower = name;
    for (char16_t& c : upper)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    for (char16_t& c : lower)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    for (const std::u16string& spelling : {name, upper, lower}) {
      std::int32_t dispid = 0;
      EXPECT_EQ(control->GetIDOfName(spelling, &dispid), S_OK);
      EXPECT_EQ(dispid, method.dispid);
    }
  }
  std::int32_t dispid = 0;
  const std::u16string_view unknownNames[] = {u"",
                                              u"CheckVersionX",
                                              u"Check Version",
                                              u"SetVersionUrl",
                                              std::u16string_view(u"IsSucessed\0", 11),
                                              u"\uD55C"};
  for (std::u16string_view unknown : unknownNames) {
    EXPECT_EQ(control->GetIDOfName(unknown, &dispid), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispid, -1);
  }
  EXPECT_EQ(control->GetIDOfName(u"IsSucessed", nullptr), E_POINTER);
}

TEST_F(Dispatch, CallsByIdCheckCountsAndTypesBeforeCalling) {
  struct Case {
    const char* name;
    std::int32_t dispid;
    std::vector<Variant> args;
    HRESULT status;
    std::vector<Variant> after;  // the arguments after the call
  };
  const Variant empty;
  const Case cases[] = {
      {"out retval from Empty", 4, {empty}, S_OK, {Variant::Bool(1)}},
      {"out retval from Bool", 4, {Variant::Bool(0)}, S_OK, {Variant::Bool(1)}},
      {"out as text", 4, {Variant::String(u"x")}, DISP_E_TYPEMISMATCH, {Variant::String(u"x")}},
      {"out as number", 4, {Variant::Int32(1)}, DISP_E_TYPEMISMATCH, {Variant::Int32(1)}},
      {"too few", 4, {}, DISP_E_BADPARAMCOUNT, {}},
      {"too many", 4, {empty, empty}, DISP_E_BADPARAMCOUNT, {empty, empty}},
      {"id 0", 0, {empty}, DISP_E_MEMBERNOTFOUND, {empty}},
      {"id 15", 15, {empty}, DISP_E_MEMBERNOTFOUND, {empty}},
      {"id -1", -1, {}, DISP_E_MEMBERNOTFOUND, {}},
      {"text as bool", 12, {Variant::Bool(1)}, DISP_E_TYPEMISMATCH, {Variant::Bool(1)}},
      {"bool as text", 13, {Variant::String(u"1")}, DISP_E_TYPEMISMATCH, {Variant::String(u"1")}},
      {"bool as Empty", 13, {empty}, DISP_E_TYPEMISMATCH, {empty}},
      {"second text wrong",
       11,
       {Variant::String(u"PORT"), Variant::Int32(80)},
       DISP_E_TYPEMISMATCH,
       {Variant::String(u"PORT"), Variant::Int32(80)}},
      {"null text", 7, {empty, empty}, S_OK, {empty, Variant::Bool(0)}},
      {"text and out",
       7,
       {Variant::String(u"..\\x"), empty},
       S_OK,
       {Variant::String(u"..\\x"), Variant::Bool(0)}},
      {"setter, no result",
       12,
       {Variant::String(u"http://h/up_version.html")},
       S_OK,
       {Variant::String(u"http://h/up_version.html")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Variant> args = c.args;
    EXPECT_EQ(control->Invoke(c.dispid, args), c.status);
    EXPECT_EQ(args, c.after);
  }
}

// Settings made by name reach the process-wide settings the next call reads.
TEST_F(Dispatch, CallsByNameShareTheModulesSettings) {
  auto call = [&](std::u16string_view name, std::vector<Variant> args) {
    std::int32_t dispid = 0;
    EXPECT_EQ(control->GetIDOfName(name, &dispid), S_OK);
    EXPECT_EQ(control->Invoke(dispid, args), S_OK);
    return args;
  };
  call(u"setvirsionurl", {Variant::String(u"http://h/up_version.html")});
  EXPECT_EQ(call(u"IsUpdateCheck", {Variant()}), std::vector<Variant>{Variant::Bool(0)});
  ComPtr<IHoVaneUpdateInstaller> other;
  ASSERT_EQ(platform::CreateInstance(kClsidHoVaneUpdateInstaller, kIidIHoVaneUpdateInstaller,
                                     other.Out()),
            S_OK);
  EXPECT_EQ(other->SetForeign(-1), S_OK);
  EXPECT_EQ(call(u"ISSUCESSED", {Variant()}), std::vector<Variant>{Variant::Bool(1)});
}

// A channel that records each call and answers as it is told.
class RecordingChannel final : public IDispatch {
 public:
  struct Call {
    std::int32_t dispid;
    std::vector<Variant> args;
  };
  HRESULT QueryInterface(const platform::Guid& iid, void** object) override {
    if (iid != platform::kIidIUnknown && iid != platform::kIidIDispatch) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return ++refs; }
  std::uint32_t Release() override { return --refs; }
  HRESULT GetIDOfName(std::u16string_view, std::int32_t*) override { return E_NOTIMPL; }
  HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) override {
    calls.push_back({dispid, {args.begin(), args.end()}});
    if (!args.empty() && args.back().type == Variant::Type::Empty && answer) args.back() = *answer;
    return status;
  }

  std::uint32_t refs = 0;
  std::vector<Call> calls;
  std::optional<Variant> answer;
  HRESULT status = S_OK;
};

TEST_F(Dispatch, ProxyForwardsEachMethodAndMapsItsResultBack) {
  RecordingChannel channel;
  {
    ComPtr<IHoVaneUpdateInstaller> proxy;
    ASSERT_EQ(proxies->CreateProxy(&channel, kIidIHoVaneUpdateInstaller, proxy.Out()), S_OK);
    EXPECT_EQ(channel.refs, 1u) << "the proxy holds its channel";
    IHoVaneUpdateInstaller* p = proxy.Get();
    using Out = std::function<HRESULT(VARIANT_BOOL*)>;
    struct Row {
      std::int32_t dispid;
      Out call;
      std::vector<Variant> sent;  // before the out value
    };
    const Row rows[] = {
        {1, [p](VARIANT_BOOL* r) { return p->CheckVersion(r); }, {}},
        {2, [p](VARIANT_BOOL* r) { return p->RealCheckVersion(r); }, {}},
        {3, [p](VARIANT_BOOL* r) { return p->DeleteOldFile(r); }, {}},
        {4, [p](VARIANT_BOOL* r) { return p->IsSucessed(r); }, {}},
        {5, [p](VARIANT_BOOL* r) { return p->CheckUpdateDlg(r); }, {}},
        {6, [p](VARIANT_BOOL* r) { return p->DeleteGarbageFile(r); }, {}},
        {7,
         [p](VARIANT_BOOL* r) { return p->DeleteInstalledFile(u"a\\한.exe", r); },
         {Variant::String(u"a\\한.exe")}},
        {8, [p](VARIANT_BOOL* r) { return p->DeleteInstalledFolder(r); }, {}},
        {9, [p](VARIANT_BOOL* r) { return p->IsUpdateCheck(r); }, {}},
        {10, [p](VARIANT_BOOL* r) { return p->SetAllFileInstall(r); }, {}},
        {14, [p](VARIANT_BOOL* r) { return p->SingleCheckVersion(r); }, {}},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(row.dispid);
      // Each answer comes back unchanged: status, and the 16-bit value.
      for (auto [status, value] :
           {std::pair{S_OK, VARIANT_BOOL{1}}, std::pair{S_FALSE, VARIANT_BOOL{0}},
            std::pair{S_OK, VARIANT_BOOL{-1}}}) {
        channel.calls.clear();
        channel.status = status;
        channel.answer = Variant::Bool(value);
        VARIANT_BOOL result = 7;
        EXPECT_EQ(row.call(&result), status);
        EXPECT_EQ(result, value);
        ASSERT_EQ(channel.calls.size(), 1u);
        EXPECT_EQ(channel.calls[0].dispid, row.dispid);
        std::vector<Variant> sent = row.sent;
        sent.emplace_back();
        EXPECT_EQ(channel.calls[0].args, sent);
      }
      // A failure leaves the caller's value; a success without a value is
      // the channel's fault; a null out pointer never reaches the channel.
      channel.calls.clear();
      channel.status = RPC_E_DISCONNECTED;
      channel.answer.reset();
      VARIANT_BOOL result = 7;
      EXPECT_EQ(row.call(&result), RPC_E_DISCONNECTED);
      EXPECT_EQ(result, 7);
      channel.status = S_OK;
      EXPECT_EQ(row.call(&result), E_UNEXPECTED);
      EXPECT_EQ(result, 7);
      EXPECT_EQ(row.call(nullptr), E_POINTER);
      EXPECT_EQ(channel.calls.size(), 2u);
    }

    struct Setter {
      std::int32_t dispid;
      std::function<HRESULT()> call;
      std::vector<Variant> sent;
    };
    const Setter setters[] = {
        {11,
         [p] { return p->SetInstallServerInfo(u"PORT", u"8080"); },
         {Variant::String(u"PORT"), Variant::String(u"8080")}},
        {12,
         [p] { return p->SetVirsionUrl(u"http://h/dn_version.html"); },
         {Variant::String(u"http://h/dn_version.html")}},
        {13, [p] { return p->SetForeign(-1); }, {Variant::Bool(-1)}},
        {13, [p] { return p->SetForeign(1); }, {Variant::Bool(1)}},
    };
    for (const Setter& setter : setters) {
      SCOPED_TRACE(setter.dispid);
      for (HRESULT status : {S_OK, RPC_E_DISCONNECTED}) {
        channel.calls.clear();
        channel.status = status;
        EXPECT_EQ(setter.call(), status);
        ASSERT_EQ(channel.calls.size(), 1u);
        EXPECT_EQ(channel.calls[0].dispid, setter.dispid);
        EXPECT_EQ(channel.calls[0].args, setter.sent);
      }
    }
    std::int32_t dispid = 0;
    EXPECT_EQ(proxy->GetIDOfName(u"setforeign", &dispid), S_OK);
    EXPECT_EQ(dispid, 13);
  }
  EXPECT_EQ(channel.refs, 0u) << "the proxy released its channel";
  ComPtr<platform::IUnknown> object;
  EXPECT_EQ(proxies->CreateProxy(nullptr, kIidIHoVaneUpdateInstaller, object.Out()), E_POINTER);
  EXPECT_EQ(proxies->CreateProxy(&channel, platform::kIidIClassFactory, object.Out()),
            E_NOINTERFACE);
  EXPECT_EQ(channel.refs, 0u);
}

// The proxy over the real control's dispatch: the same answers as the
// control gives directly.
TEST_F(Dispatch, ProxyOverTheControlRoundTrips) {
  ComPtr<IHoVaneUpdateInstaller> proxy;
  ASSERT_EQ(proxies->CreateProxy(control.Get(), kIidIHoVaneUpdateInstaller, proxy.Out()), S_OK);
  VARIANT_BOOL result = 7;
  EXPECT_EQ(proxy->IsSucessed(&result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(proxy->SetVirsionUrl(u"http://h/up_version.html"), S_OK);
  EXPECT_EQ(proxy->IsUpdateCheck(&result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(proxy->CheckUpdateDlg(&result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(proxy->DeleteInstalledFile(u"..\\outside.txt", &result), S_OK);
  EXPECT_EQ(result, 0);
  WriteHostFile(prefix.Host("C:\\Program Files\\Hovane\\inside.txt"), "x");
  EXPECT_EQ(proxy->DeleteInstalledFile(u"inside.txt", &result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(platform::FindExact("C:\\Program Files\\Hovane\\inside.txt"));
}

}  // namespace
}  // namespace hovane::test
