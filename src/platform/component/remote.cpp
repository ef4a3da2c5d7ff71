// The remote channel's wire format and its two ends.
//
// Every message is a frame: a 32-bit little-endian payload length (1 to
// kMaxRemoteMessage) and the payload. A payload starts with its kind byte:
//
//   calls (caller -> stub)
//     1 GetIDOfName   name
//     2 Invoke        i32 dispid, u32 count, count x variant
//   answers (stub -> caller)
//     0x80 Announce   i32 status
//     0x81 Name       i32 status, i32 dispid
//     0x82 Invoke     i32 status, u32 count, count x variant (as written back)
//
//   text:    u32 count of UTF-16 units, then the units (16-bit little-endian)
//   variant: u8 type (0 empty, 1 bool, 2 int32, 3 string), then an i16, an
//            i32 or a text
//
// A reader checks every count against the bytes that are left before it
// allocates anything, and the frame length against kMaxRemoteMessage before
// it reads the payload, so a hostile peer can make it hold at most one
// frame. Anything left over after the last field is a malformed message as
// well: the two ends would otherwise disagree about where a message ends.
#include "platform/component/remote.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "platform/component/remote_backend.h"

namespace hovane::platform {
namespace {

enum Kind : std::uint8_t {
  kCallGetIDOfName = 1,
  kCallInvoke = 2,
  kAnswerAnnounce = 0x80,
  kAnswerName = 0x81,
  kAnswerInvoke = 0x82,
};

class Writer {
 public:
  explicit Writer(Kind kind) { bytes_.resize(4), U8(kind); }
  void U8(std::uint8_t value) { bytes_ += static_cast<char>(value); }
  void U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value));
    U8(static_cast<std::uint8_t>(value >> 8));
  }
  void U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value));
    U16(static_cast<std::uint16_t>(value >> 16));
  }
  void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
  void Text(std::u16string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) U16(unit);
  }
  void Value(const Variant& value) {
    U8(static_cast<std::uint8_t>(value.type));
    switch (value.type) {
      case Variant::Type::Empty:
        break;
      case Variant::Type::Bool:
        U16(static_cast<std::uint16_t>(value.boolValue));
        break;
      case Variant::Type::Int32:
        I32(value.intValue);
        break;
      case Variant::Type::String:
        Text(value.stringValue);
        break;
    }
  }
  // Fills in the length; false when the message is too large to send.
  bool Seal() {
    const std::size_t payload = bytes_.size() - 4;
    if (payload > kMaxRemoteMessage) return false;
    for (int i = 0; i < 4; ++i)
      bytes_[static_cast<std::size_t>(i)] = static_cast<char>(payload >> (8 * i));
    return true;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class Reader {
 public:
  explicit Reader(const std::string& payload) : bytes_(payload) {}
  bool U8(std::uint8_t* value) {
    if (left() < 1) return false;
    *value = static_cast<std::uint8_t>(bytes_[at_++]);
    return true;
  }
  bool U16(std::uint16_t* value) {
    std::uint8_t low = 0, high = 0;
    if (!U8(&low) || !U8(&high)) return false;
    *value = static_cast<std::uint16_t>(low | (high << 8));
    return true;
  }
  bool U32(std::uint32_t* value) {
    std::uint16_t low = 0, high = 0;
    if (!U16(&low) || !U16(&high)) return false;
    *value = low | (std::uint32_t{high} << 16);
    return true;
  }
  bool I32(std::int32_t* value) {
    std::uint32_t raw = 0;
    if (!U32(&raw)) return false;
    *value = static_cast<std::int32_t>(raw);
    return true;
  }
  bool Text(std::u16string* text) {
    std::uint32_t count = 0;
    if (!U32(&count) || count > left() / 2) return false;
    text->resize(count);
    for (char16_t& unit : *text) {
      std::uint16_t raw = 0;
      U16(&raw);
      unit = static_cast<char16_t>(raw);
    }
    return true;
  }
  bool Value(Variant* value) {
    std::uint8_t type = 0;
    if (!U8(&type)) return false;
    *value = {};
    switch (type) {
      case static_cast<std::uint8_t>(Variant::Type::Empty):
        return true;
      case static_cast<std::uint8_t>(Variant::Type::Bool): {
        std::uint16_t raw = 0;
        if (!U16(&raw)) return false;
        *value = Variant::Bool(static_cast<VARIANT_BOOL>(raw));
        return true;
      }
      case static_cast<std::uint8_t>(Variant::Type::Int32): {
        std::int32_t number = 0;
        if (!I32(&number)) return false;
        *value = Variant::Int32(number);
        return true;
      }
      case static_cast<std::uint8_t>(Variant::Type::String): {
        std::u16string text;
        if (!Text(&text)) return false;
        *value = Variant::String(std::move(text));
        return true;
      }
    }
    return false;
  }
  // count variants, each needing at least its type byte.
  bool Values(std::vector<Variant>* values) {
    std::uint32_t count = 0;
    if (!U32(&count) || count > kMaxRemoteArguments || count > left()) return false;
    values->resize(count);
    for (Variant& value : *values)
      if (!Value(&value)) return false;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::size_t left() const { return bytes_.size() - at_; }
  const std::string& bytes_;
  std::size_t at_ = 0;
};

enum class Received { Ok, End, Broken };

// Reads one frame's payload.
Received ReceiveFrame(int descriptor, std::string* payload) {
  unsigned char header[4];
  switch (backend::ReadExact(descriptor, header, sizeof header)) {
    case backend::StreamRead::Ok:
      break;
    case backend::StreamRead::End:
      return Received::End;
    case backend::StreamRead::Failed:
      return Received::Broken;
  }
  const std::uint32_t length = header[0] | (std::uint32_t{header[1]} << 8) |
                               (std::uint32_t{header[2]} << 16) | (std::uint32_t{header[3]} << 24);
  if (length == 0 || length > kMaxRemoteMessage) return Received::Broken;
  payload->assign(length, '\0');
  return backend::ReadExact(descriptor, payload->data(), length) == backend::StreamRead::Ok
             ? Received::Ok
             : Received::Broken;
}

bool SendFrame(int descriptor, Writer& message) {
  return message.Seal() &&
         backend::WriteAll(descriptor, message.bytes().data(), message.bytes().size());
}

// The caller's end: an IDispatch whose calls go over the connection.
class DispatchChannel final : public IDispatch {
 public:
  DispatchChannel(int descriptor, int process) : descriptor_(descriptor), process_(process) {}

  HRESULT QueryInterface(const Guid& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == kIidIUnknown || iid == kIidIDispatch) {
      AddRef();
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) override {
    if (dispid == nullptr) return E_POINTER;
    Writer call(kCallGetIDOfName);
    call.Text(name);
    std::string payload;
    const HRESULT sent = Exchange(call, kAnswerName, &payload);
    if (sent != S_OK) return sent;
    Reader answer(payload);
    std::uint8_t kind = 0;
    std::int32_t status = 0, id = 0;
    if (!answer.U8(&kind) || !answer.I32(&status) || !answer.I32(&id) || !answer.AtEnd())
      return Disconnect();
    *dispid = id;
    return status;
  }

  HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) override {
    if (args.size() > kMaxRemoteArguments) return DISP_E_BADPARAMCOUNT;
    Writer call(kCallInvoke);
    call.I32(dispid);
    call.U32(static_cast<std::uint32_t>(args.size()));
    for (const Variant& arg : args) call.Value(arg);
    std::string payload;
    const HRESULT sent = Exchange(call, kAnswerInvoke, &payload);
    if (sent != S_OK) return sent;
    Reader answer(payload);
    std::uint8_t kind = 0;
    std::int32_t status = 0;
    std::vector<Variant> written;
    if (!answer.U8(&kind) || !answer.I32(&status) || !answer.Values(&written) || !answer.AtEnd() ||
        written.size() != args.size())
      return Disconnect();
    for (std::size_t i = 0; i < args.size(); ++i) args[i] = std::move(written[i]);
    return status;
  }

 private:
  ~DispatchChannel() {
    backend::CloseDescriptor(descriptor_);
    backend::ReapChild(process_);
  }

  // Ends the connection for good; every later call answers RPC_E_DISCONNECTED.
  HRESULT Disconnect() {
    backend::CloseDescriptor(descriptor_);
    descriptor_ = -1;
    return RPC_E_DISCONNECTED;
  }

  // Sends call and receives the answer of kind expected.
  HRESULT Exchange(Writer& call, Kind expected, std::string* payload) {
    if (descriptor_ < 0) return RPC_E_DISCONNECTED;
    if (!call.Seal()) return E_INVALIDARG;
    if (!backend::WriteAll(descriptor_, call.bytes().data(), call.bytes().size()))
      return Disconnect();
    if (ReceiveFrame(descriptor_, payload) != Received::Ok) return Disconnect();
    if (static_cast<std::uint8_t>((*payload)[0]) != expected) return Disconnect();
    return S_OK;
  }

  int descriptor_;
  int process_;
  std::atomic<std::uint32_t> references_{1};
};

}  // namespace

bool MakeChannelEnds(ChannelEnds* ends) {
  if (ends == nullptr) return false;
  return backend::MakeStreamPair(&ends->ours, &ends->theirs);
}

void CloseChannelEnd(int descriptor) { backend::CloseDescriptor(descriptor); }

std::unique_ptr<DispatchStub> DispatchStub::Adopt(int descriptor) {
  if (!backend::IsConnectedStream(descriptor)) return nullptr;
  return std::unique_ptr<DispatchStub>(new DispatchStub(descriptor));
}

DispatchStub::DispatchStub(int descriptor) : descriptor_(descriptor) {}

DispatchStub::~DispatchStub() {
  object_.Reset();
  backend::CloseDescriptor(descriptor_);
}

int DispatchStub::Descriptor() const { return descriptor_; }

bool DispatchStub::Finished() const { return finished_; }

void DispatchStub::Finish() {
  finished_ = true;
  // The object goes before the connection closes, so that a caller that
  // waits for the surrogate to end finds it already released.
  object_.Reset();
  backend::CloseDescriptor(descriptor_);
  descriptor_ = -1;
}

bool DispatchStub::Announce(HRESULT status, IDispatch* object) {
  if (finished_) return false;
  // Only S_OK with an object counts as created; the caller's end reads any
  // other success code as a broken answer.
  if (status >= 0) status = object ? S_OK : E_UNEXPECTED;
  Writer answer(kAnswerAnnounce);
  answer.I32(status);
  if (!SendFrame(descriptor_, answer) || status != S_OK) {
    Finish();
    return false;
  }
  object->AddRef();
  object_ = ComPtr<IDispatch>::Adopt(object);
  return true;
}

bool DispatchStub::ServeOne() {
  if (finished_) return false;
  if (serving_) return true;
  if (!object_) {
    Finish();
    return false;
  }
  serving_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{serving_};

  std::string payload;
  if (ReceiveFrame(descriptor_, &payload) != Received::Ok) {
    Finish();
    return false;
  }
  Reader call(payload);
  std::uint8_t kind = 0;
  call.U8(&kind);
  bool sent = false;
  if (kind == kCallGetIDOfName) {
    std::u16string name;
    if (!call.Text(&name) || !call.AtEnd()) {
      Finish();
      return false;
    }
    std::int32_t dispid = 0;
    const HRESULT status = object_->GetIDOfName(name, &dispid);
    Writer answer(kAnswerName);
    answer.I32(status);
    answer.I32(dispid);
    sent = SendFrame(descriptor_, answer);
  } else if (kind == kCallInvoke) {
    std::int32_t dispid = 0;
    std::vector<Variant> args;
    if (!call.I32(&dispid) || !call.Values(&args) || !call.AtEnd()) {
      Finish();
      return false;
    }
    // The object may have released the last outside reference to itself
    // during the call; keep it alive until the answer is sent.
    ComPtr<IDispatch> object = object_;
    const HRESULT status = object->Invoke(dispid, args);
    Writer answer(kAnswerInvoke);
    answer.I32(status);
    answer.U32(static_cast<std::uint32_t>(args.size()));
    for (const Variant& arg : args) answer.Value(arg);
    sent = !finished_ && SendFrame(descriptor_, answer);
  }
  if (!sent) {
    if (!finished_) Finish();
    return false;
  }
  return true;
}

HRESULT CreateDispatchChannel(int descriptor, int process, IDispatch** channel) {
  if (channel == nullptr) return E_POINTER;
  *channel = nullptr;
  std::string payload;
  HRESULT status = RPC_E_DISCONNECTED;
  if (ReceiveFrame(descriptor, &payload) == Received::Ok) {
    Reader answer(payload);
    std::uint8_t kind = 0;
    std::int32_t announced = 0;
    if (answer.U8(&kind) && kind == kAnswerAnnounce && answer.I32(&announced) && answer.AtEnd() &&
        (announced == S_OK || announced < 0))
      status = announced;
  }
  if (status != S_OK) {
    backend::CloseDescriptor(descriptor);
    backend::ReapChild(process);
    return status;
  }
  *channel = new DispatchChannel(descriptor, process);
  return S_OK;
}

}  // namespace hovane::platform
