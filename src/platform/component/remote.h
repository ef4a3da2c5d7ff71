// Late-bound calls to an object in another process, over a connected local
// stream (a Unix-domain socket here).
//
// One side serves an IDispatch object (DispatchStub); the other holds a
// proxy that is itself an IDispatch (the channel made by
// CreateDispatchChannel): its GetIDOfName and Invoke send the call, wait for
// the answer and hand back the stub's status and the arguments as the
// object wrote them back. An interface's proxy class (IProxyFactory) wraps
// the channel into that interface.
//
// Failures. A connection that ends (the peer closed it or died) or a
// message that breaks the format ends the channel: the call in progress and
// every later one answer RPC_E_DISCONNECTED. A reader never waits past the
// end of the connection and never allocates more than kMaxRemoteMessage
// bytes for one message, whatever the peer sends.
//
// Lifetime. The channel closes the connection when its last reference goes;
// the stub then releases its object. When the channel was given a process
// (the surrogate), that process is waited for after the close.
//
// Threading: a channel is used by one thread at a time; each call blocks
// that thread until the answer arrives (there is no time limit: a call may
// run a modal dialog on the other side). A stub is used on one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/component/dispatch.h"
#include "platform/export.h"

namespace hovane::platform {

// The largest message either side accepts, in bytes.
inline constexpr std::uint32_t kMaxRemoteMessage = 4u << 20;
// The most arguments a call may carry.
inline constexpr std::uint32_t kMaxRemoteArguments = 64;

// A connected pair of local stream endpoints, as descriptor numbers. Each
// end is closed on exec unless handed to a child explicitly.
struct ChannelEnds {
  int ours = -1;
  int theirs = -1;
};
// false when the system refuses (no descriptors left).
HOVANE_PLATFORM_API bool MakeChannelEnds(ChannelEnds* ends);
// Closes a descriptor made by MakeChannelEnds (-1 is ignored).
HOVANE_PLATFORM_API void CloseChannelEnd(int descriptor);

// The serving side. Owns the descriptor from construction on.
class HOVANE_PLATFORM_API DispatchStub {
 public:
  // Adopts descriptor, which must be a connected stream socket; otherwise
  // nullptr (and the descriptor is left alone).
  static std::unique_ptr<DispatchStub> Adopt(int descriptor);
  ~DispatchStub();
  DispatchStub(const DispatchStub&) = delete;
  DispatchStub& operator=(const DispatchStub&) = delete;

  // The descriptor, for an event loop to watch for readability.
  int Descriptor() const;

  // Tells the other side how the creation of the object went: S_OK and the
  // object to serve (AddRef'ed), or a failure status (object null) after
  // which the stub is finished. false when the connection is already gone.
  bool Announce(HRESULT status, IDispatch* object);

  // Reads one call, runs it on the object and sends the answer. Blocks
  // until a whole call has arrived. false once the connection has ended
  // (closed, broken, or a malformed call); the object is then released and
  // every later call answers false. A call made while another is running
  // on this stub (from a nested event loop) does nothing and answers true.
  bool ServeOne();

  // Whether the connection has ended.
  bool Finished() const;

 private:
  explicit DispatchStub(int descriptor);
  void Finish();

  int descriptor_;
  ComPtr<IDispatch> object_;
  bool serving_ = false;
  bool finished_ = false;
};

// The calling side. Takes ownership of descriptor (connected to a stub)
// and first waits for the stub's Announce: its failure status (or
// RPC_E_DISCONNECTED when the connection ends first) is returned and no
// channel is made. process: a child process id to wait for once the
// connection is closed (0 for none); on failure it is waited for at once.
// On S_OK *channel holds one reference.
HOVANE_PLATFORM_API HRESULT CreateDispatchChannel(int descriptor, int process, IDispatch** channel);

}  // namespace hovane::platform
