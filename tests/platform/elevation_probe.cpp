// The elevation tests' module: the probe class (created in the surrogate)
// and the proxy class of its interface (used by the caller).
#include <unistd.h>
#include <QDialog>
#include <QTimer>

#include <atomic>
#include <fstream>
#include <vector>

#include "platform/elevation_probe.h"
#include "platform/prefix/prefix.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace hovane::test {
namespace {

using platform::Guid;
using platform::Variant;

bool EqualsNoCaseAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// Reference counting shared by the objects of this module.
template <class Interface>
class Counted : public Interface {
 public:
  virtual ~Counted() = default;
  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<std::uint32_t> references_{1};
};

template <class Interface>
HRESULT AnswerInterface(Interface* self, const Guid& iid, const Guid& own, void** object) {
  if (iid == platform::kIidIUnknown || iid == platform::kIidIDispatch || iid == own) {
    self->AddRef();
    *object = self;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

class Probe final : public Counted<IElevationProbe> {
 public:
  ~Probe() override {
    std::ofstream(platform::PrefixRoot() + "/" + kProbeReleasedMarker) << "released\n";
  }
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    return AnswerInterface<IElevationProbe>(this, iid, kIidElevationProbe, object);
  }
  HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) override {
    const std::pair<std::u16string_view, std::int32_t> names[] = {{u"SetText", kDispSetText},
                                                                  {u"GetText", kDispGetText},
                                                                  {u"Negate", kDispNegate},
                                                                  {u"ProcessId", kDispProcessId},
                                                                  {u"RunDialog", kDispRunDialog}};
    for (const auto& [known, id] : names) {
      if (EqualsNoCaseAscii(known, name)) {
        *dispid = id;
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) override {
    auto expect = [&](std::vector<Variant::Type> types) -> HRESULT {
      if (args.size() != types.size()) return DISP_E_BADPARAMCOUNT;
      for (std::size_t i = 0; i < types.size(); ++i)
        if (args[i].type != types[i]) return DISP_E_TYPEMISMATCH;
      return S_OK;
    };
    using T = Variant::Type;
    HRESULT status = S_OK;
    switch (dispid) {
      case kDispSetText:
        if ((status = expect({T::String})) != S_OK) return status;
        return SetText(args[0].stringValue);
      case kDispGetText: {
        if (args.size() != 2) return DISP_E_BADPARAMCOUNT;
        if (args[0].type != T::Bool) return DISP_E_TYPEMISMATCH;
        std::u16string text;
        status = GetText(args[0].boolValue, &text);
        args[1] = Variant::String(text);
        return status;
      }
      case kDispNegate: {
        if (args.size() != 2) return DISP_E_BADPARAMCOUNT;
        if (args[0].type != T::Bool) return DISP_E_TYPEMISMATCH;
        VARIANT_BOOL result = 0;
        status = Negate(args[0].boolValue, &result);
        args[1] = Variant::Bool(result);
        return status;
      }
      case kDispProcessId: {
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        std::int32_t id = 0;
        status = ProcessId(&id);
        args[0] = Variant::Int32(id);
        return status;
      }
      case kDispRunDialog: {
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT_BOOL ran = 0;
        status = RunDialog(&ran);
        args[0] = Variant::Bool(ran);
        return status;
      }
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT SetText(std::u16string_view text) override {
    text_ = text;
    return S_OK;
  }
  HRESULT GetText(VARIANT_BOOL upper, std::u16string* text) override {
    *text = text_;
    if (upper)
      for (char16_t& c : *text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return S_OK;
  }
  HRESULT Negate(VARIANT_BOOL value, VARIANT_BOOL* result) override {
    *result = value ? 0 : 1;
    return *result ? S_OK : S_FALSE;
  }
  HRESULT ProcessId(std::int32_t* id) override {
    *id = static_cast<std::int32_t>(::getpid());
    return S_OK;
  }
  // A modal dialog on the calling thread, closed by a timer of its own
  // loop: what an install dialog run inside a call does.
  HRESULT RunDialog(VARIANT_BOOL* ran) override {
    QDialog dialog;
    QTimer::singleShot(0, &dialog, &QDialog::accept);
    *ran = dialog.exec() == QDialog::Accepted ? 1 : 0;
    return S_OK;
  }

 private:
  std::u16string text_;
};

// The caller's side: every method becomes a late-bound call on the channel.
class ProbeProxy final : public Counted<IElevationProbe> {
 public:
  explicit ProbeProxy(platform::IDispatch* channel) : channel_(channel) { channel_->AddRef(); }
  ~ProbeProxy() override { channel_->Release(); }

  HRESULT QueryInterface(const Guid& iid, void** object) override {
    return AnswerInterface<IElevationProbe>(this, iid, kIidElevationProbe, object);
  }
  HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) override {
    return channel_->GetIDOfName(name, dispid);
  }
  HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) override {
    return channel_->Invoke(dispid, args);
  }

  HRESULT SetText(std::u16string_view text) override {
    Variant args[] = {Variant::String(std::u16string(text))};
    return channel_->Invoke(kDispSetText, args);
  }
  HRESULT GetText(VARIANT_BOOL upper, std::u16string* text) override {
    Variant args[] = {Variant::Bool(upper), Variant::String({})};
    const HRESULT status = channel_->Invoke(kDispGetText, args);
    *text = args[1].stringValue;
    return status;
  }
  HRESULT Negate(VARIANT_BOOL value, VARIANT_BOOL* result) override {
    Variant args[] = {Variant::Bool(value), Variant::Bool(0)};
    const HRESULT status = channel_->Invoke(kDispNegate, args);
    *result = args[1].boolValue;
    return status;
  }
  HRESULT ProcessId(std::int32_t* id) override {
    Variant args[] = {Variant::Int32(0)};
    const HRESULT status = channel_->Invoke(kDispProcessId, args);
    *id = args[0].intValue;
    return status;
  }
  HRESULT RunDialog(VARIANT_BOOL* ran) override {
    Variant args[] = {Variant::Bool(0)};
    const HRESULT status = channel_->Invoke(kDispRunDialog, args);
    *ran = args[0].boolValue;
    return status;
  }

 private:
  platform::IDispatch* channel_;
};

class ProbeFactory final : public platform::IClassFactory {
 public:
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    return AnswerInterface<platform::IClassFactory>(this, iid, platform::kIidIClassFactory, object);
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  HRESULT CreateInstance(platform::IUnknown* outer, const Guid& iid, void** object) override {
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* probe = new Probe;
    const HRESULT status = probe->QueryInterface(iid, object);
    probe->Release();
    return status;
  }
  HRESULT LockServer(bool) override { return S_OK; }
};

class ProxyFactory final : public platform::IProxyFactory {
 public:
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    return AnswerInterface<platform::IProxyFactory>(this, iid, platform::kIidIProxyFactory, object);
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  HRESULT CreateProxy(platform::IDispatch* channel, const Guid& iid, void** object) override {
    *object = nullptr;
    if (channel == nullptr) return E_POINTER;
    auto* proxy = new ProbeProxy(channel);
    const HRESULT status = proxy->QueryInterface(iid, object);
    proxy->Release();
    return status;
  }
};

}  // namespace
}  // namespace hovane::test

PROBE_EXPORT hovane::HRESULT DllGetClassObject(const hovane::platform::Guid& clsid,
                                               const hovane::platform::Guid& iid, void** object) {
  using namespace hovane;
  static test::ProbeFactory probeFactory;
  static test::ProxyFactory proxyFactory;
  *object = nullptr;
  if (clsid == test::kClsidElevationProbe) return probeFactory.QueryInterface(iid, object);
  if (clsid == test::kIidElevationProbe) return proxyFactory.QueryInterface(iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}
