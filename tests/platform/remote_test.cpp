// The remote channel: calls between a proxy end and a stub end over a real
// socket pair, and both ends' handling of broken or hostile messages.
#include "platform/component/remote.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace hovane::platform {
namespace {

// Answers "echo" (dispid 7): negates booleans, adds one to numbers, appends
// "!" to texts; S_FALSE for a call without arguments.
class EchoObject final : public IDispatch {
 public:
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    if (iid == kIidIUnknown || iid == kIidIDispatch) {
      AddRef();
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++references; }
  std::uint32_t Release() override { return --references; }
  HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) override {
    if (name != u"echo" && name != u"ECHO") return DISP_E_UNKNOWNNAME;
    *dispid = 7;
    return S_OK;
  }
  HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) override {
    ++calls;
    if (dispid != 7) return DISP_E_MEMBERNOTFOUND;
    for (Variant& arg : args) {
      if (arg.type == Variant::Type::Bool) arg.boolValue = arg.boolValue ? 0 : 1;
      if (arg.type == Variant::Type::Int32) ++arg.intValue;
      if (arg.type == Variant::Type::String) arg.stringValue += u"!";
    }
    return args.empty() ? S_FALSE : S_OK;
  }

  std::atomic<std::uint32_t> references{1};
  std::atomic<int> calls{0};
};

std::string Le16(std::uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) {
  return Le16(static_cast<std::uint16_t>(v)) + Le16(static_cast<std::uint16_t>(v >> 16));
}
std::string Frame(const std::string& payload) {
  return Le32(static_cast<std::uint32_t>(payload.size())) + payload;
}
std::string Byte(std::uint8_t b) { return std::string(1, static_cast<char>(b)); }

void WriteRaw(int descriptor, const std::string& bytes) {
  ASSERT_EQ(::write(descriptor, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

class Ends {
 public:
  Ends() { EXPECT_TRUE(MakeChannelEnds(&ends_)); }
  ~Ends() {
    CloseChannelEnd(ends_.ours);
    CloseChannelEnd(ends_.theirs);
  }
  // Hands an end over to an owner that closes it.
  int TakeOurs() { return std::exchange(ends_.ours, -1); }
  int TakeTheirs() { return std::exchange(ends_.theirs, -1); }
  int ours() const { return ends_.ours; }
  int theirs() const { return ends_.theirs; }

 private:
  ChannelEnds ends_;
};

TEST(RemoteChannelTest, CallsRoundTripAndTheLastReleaseEndsTheStub) {
  Ends ends;
  EchoObject object;
  auto stub = DispatchStub::Adopt(ends.TakeTheirs());
  ASSERT_NE(stub, nullptr);
  ASSERT_TRUE(stub->Announce(S_OK, &object));
  EXPECT_EQ(object.references, 2u);
  std::thread server([&] {
    while (stub->ServeOne()) {
    }
  });

  IDispatch* channel = nullptr;
  ASSERT_EQ(CreateDispatchChannel(ends.TakeOurs(), 0, &channel), S_OK);
  std::int32_t dispid = 0;
  EXPECT_EQ(channel->GetIDOfName(u"ECHO", &dispid), S_OK);
  EXPECT_EQ(dispid, 7);
  EXPECT_EQ(channel->GetIDOfName(u"nothing", &dispid), DISP_E_UNKNOWNNAME);

  std::vector<Variant> args = {Variant::Bool(1), Variant::Int32(-1), Variant::String(u"설치"),
                               Variant{}, Variant::Bool(0)};
  EXPECT_EQ(channel->Invoke(7, args), S_OK);
  EXPECT_EQ(args, (std::vector<Variant>{Variant::Bool(0), Variant::Int32(0),
                                        Variant::String(u"설치!"), Variant{}, Variant::Bool(1)}));
  EXPECT_EQ(channel->Invoke(7, {}), S_FALSE);
  EXPECT_EQ(channel->Invoke(8, {}), DISP_E_MEMBERNOTFOUND);

  // A text of a million units travels whole; one over the message limit is
  // refused before anything is sent, and the channel stays usable.
  std::vector<Variant> large = {Variant::String(std::u16string(1u << 20, u'가'))};
  EXPECT_EQ(channel->Invoke(7, large), S_OK);
  EXPECT_EQ(large[0].stringValue.size(), (1u << 20) + 1);
  std::vector<Variant> tooLarge = {Variant::String(std::u16string(kMaxRemoteMessage / 2, u'x'))};
  EXPECT_EQ(channel->Invoke(7, tooLarge), E_INVALIDARG);
  std::vector<Variant> tooMany(kMaxRemoteArguments + 1);
  EXPECT_EQ(channel->Invoke(7, tooMany), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(object.calls, 4);
  EXPECT_EQ(channel->Invoke(7, {}), S_FALSE);

  channel->Release();
  server.join();
  EXPECT_TRUE(stub->Finished());
  EXPECT_EQ(object.references, 1u);
}

TEST(RemoteChannelTest, CreationOutcomeComesFromTheStub) {
  {
    SCOPED_TRACE("a failed creation");
    Ends ends;
    auto stub = DispatchStub::Adopt(ends.TakeTheirs());
    EXPECT_FALSE(stub->Announce(E_ACCESSDENIED, nullptr));
    EXPECT_TRUE(stub->Finished());
    IDispatch* channel = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(CreateDispatchChannel(ends.TakeOurs(), 0, &channel), E_ACCESSDENIED);
    EXPECT_EQ(channel, nullptr);
  }
  // Raw announcements: the end of the connection, a success code that is
  // not S_OK, another kind, and trailing bytes are all broken answers.
  const std::pair<const char*, std::string> rows[] = {
      {"closed without a word", ""},
      {"S_FALSE", Frame(Byte(0x80) + Le32(1))},
      {"another kind", Frame(Byte(0x81) + Le32(0) + Le32(0))},
      {"trailing bytes", Frame(Byte(0x80) + Le32(0) + Byte(0))},
  };
  for (const auto& [name, bytes] : rows) {
    SCOPED_TRACE(name);
    Ends ends;
    WriteRaw(ends.theirs(), bytes);
    CloseChannelEnd(ends.TakeTheirs());
    IDispatch* channel = nullptr;
    EXPECT_EQ(CreateDispatchChannel(ends.TakeOurs(), 0, &channel), RPC_E_DISCONNECTED);
    EXPECT_EQ(channel, nullptr);
  }
}

TEST(RemoteChannelTest, BrokenAnswersDisconnectTheChannel) {
  // Each row answers one Invoke with one boolean argument; the peer then
  // closes its sending side, so nothing is left to wait for.
  const std::string goodHead = Byte(0x82) + Le32(0) + Le32(1);
  const std::pair<const char*, std::string> rows[] = {
      {"nothing", ""},
      {"a frame cut short", Le32(10) + "abc"},
      {"length zero", Le32(0)},
      {"length beyond the limit", Le32(0xFFFFFFFFu)},
      {"the answer of another call", Frame(Byte(0x81) + Le32(0) + Le32(3))},
      {"an unknown kind", Frame(Byte(0x7F))},
      {"another count of arguments",
       Frame(Byte(0x82) + Le32(0) + Le32(2) + Byte(1) + Le16(1) + Byte(1) + Le16(1))},
      {"a count beyond the limit", Frame(Byte(0x82) + Le32(0) + Le32(0xFFFFFFFFu))},
      {"a text longer than the message", Frame(goodHead + Byte(3) + Le32(0x7FFFFFFFu) + "ab")},
      {"an unknown variant type", Frame(goodHead + Byte(9))},
      {"bytes after the last field", Frame(goodHead + Byte(1) + Le16(1) + Byte(0))},
  };
  for (const auto& [name, bytes] : rows) {
    SCOPED_TRACE(name);
    Ends ends;
    WriteRaw(ends.theirs(), Frame(Byte(0x80) + Le32(0)));
    IDispatch* channel = nullptr;
    ASSERT_EQ(CreateDispatchChannel(ends.TakeOurs(), 0, &channel), S_OK);
    WriteRaw(ends.theirs(), bytes);
    ::shutdown(ends.theirs(), SHUT_WR);
    std::vector<Variant> args = {Variant::Bool(1)};
    EXPECT_EQ(channel->Invoke(7, args), RPC_E_DISCONNECTED);
    EXPECT_EQ(args[0], Variant::Bool(1)) << "arguments of a broken call stay as they were";
    std::int32_t dispid = 0;
    EXPECT_EQ(channel->GetIDOfName(u"echo", &dispid), RPC_E_DISCONNECTED);
    channel->Release();
  }
  {
    SCOPED_TRACE("a well-formed answer, to show the rows above differ only where they say");
    Ends ends;
    WriteRaw(ends.theirs(), Frame(Byte(0x80) + Le32(0)));
    IDispatch* channel = nullptr;
    ASSERT_EQ(CreateDispatchChannel(ends.TakeOurs(), 0, &channel), S_OK);
    WriteRaw(ends.theirs(), Frame(goodHead + Byte(1) + Le16(0)));
    std::vector<Variant> args = {Variant::Bool(1)};
    EXPECT_EQ(channel->Invoke(7, args), S_OK);
    EXPECT_EQ(args[0], Variant::Bool(0));
    channel->Release();
  }
}

TEST(RemoteChannelTest, HostileCallsEndTheStubWithoutReachingTheObject) {
  const std::string invokeHead = Byte(2) + Le32(7);
  const std::pair<const char*, std::string> rows[] = {
      {"length beyond the limit", Le32(kMaxRemoteMessage + 1) + "x"},
      {"length zero", Le32(0)},
      {"a frame cut short", Le32(100) + "abc"},
      {"an unknown kind", Frame(Byte(0x80) + Le32(0))},
      {"too many arguments", Frame(invokeHead + Le32(kMaxRemoteArguments + 1) +
                                   std::string(kMaxRemoteArguments + 1, '\0'))},
      {"a count larger than the message", Frame(invokeHead + Le32(1000))},
      {"a name longer than the message", Frame(Byte(1) + Le32(0x40000000u) + "ab")},
      {"a name of an odd number of bytes", Frame(Byte(1) + Le32(1) + "a")},
      {"bytes after the last field", Frame(invokeHead + Le32(0) + Byte(0))},
  };
  for (const auto& [name, bytes] : rows) {
    SCOPED_TRACE(name);
    Ends ends;
    EchoObject object;
    auto stub = DispatchStub::Adopt(ends.TakeTheirs());
    ASSERT_TRUE(stub->Announce(S_OK, &object));
    WriteRaw(ends.ours(), bytes);
    ::shutdown(ends.ours(), SHUT_WR);
    EXPECT_FALSE(stub->ServeOne());
    EXPECT_TRUE(stub->Finished());
    EXPECT_FALSE(stub->ServeOne());
    EXPECT_EQ(object.calls, 0);
    EXPECT_EQ(object.references, 1u);
  }
  {
    SCOPED_TRACE("a well-formed call, then the end of the connection");
    Ends ends;
    EchoObject object;
    auto stub = DispatchStub::Adopt(ends.TakeTheirs());
    ASSERT_TRUE(stub->Announce(S_OK, &object));
    WriteRaw(ends.ours(), Frame(invokeHead + Le32(1) + Byte(2) + Le32(41)));
    ::shutdown(ends.ours(), SHUT_WR);
    EXPECT_TRUE(stub->ServeOne());
    EXPECT_EQ(object.calls, 1);
    EXPECT_FALSE(stub->ServeOne());
    EXPECT_EQ(object.references, 1u);
  }
}

TEST(RemoteChannelTest, OnlyAConnectedSocketIsAdopted) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  EXPECT_EQ(DispatchStub::Adopt(pipeEnds[0]), nullptr);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
  EXPECT_EQ(DispatchStub::Adopt(-1), nullptr);
  const int unconnected = ::socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(DispatchStub::Adopt(unconnected), nullptr);
  ::close(unconnected);
}

}  // namespace
}  // namespace hovane::platform
