// The proxy of IHoVaneUpdateInstaller: a typed object in the caller that
// forwards each of the fourteen methods as one late-bound call over a
// channel (an IDispatch that reaches the real object, usually in another
// process), and its class object, an IProxyFactory.
//
// A method's call is channel->Invoke(dispid, args) with the arguments in
// declaration order: texts as String, booleans as Bool, an out parameter as
// an Empty variant that the channel turns into the Bool written. The
// channel's status is the method's status; on success the out value is
// copied to the caller's pointer, and a success without a Bool in the out
// variant answers E_UNEXPECTED. A null out pointer answers E_POINTER
// without a call.
//
// Threading: one thread at a time per proxy; a call waits for its answer.
#pragma once

#include <cstdint>

#include "platform/component/dispatch.h"

namespace hovane::module {

// The process's proxy class object; kept for the life of the module.
platform::IProxyFactory& TheProxyFactory();

// The number of proxies alive; the module stays loaded while any is.
std::int32_t LiveProxyCount();

}  // namespace hovane::module
