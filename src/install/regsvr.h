// CRegsvr: registers one installed component module with the system by
// loading it and calling its self-registration entry DllRegisterServer,
// in-process and without any user interface.
//
// Register answers with one of the codes below; callers treat 0 as success
// and every other code as failure. The module is never left loaded and the
// calling thread's apartment is left as it was found. Whatever the module
// wrote before it failed stays written.
//
// Threading: Register runs on the caller's thread (the receive thread during
// an install) and places that thread in a single-threaded apartment for the
// duration of the call. It holds no locks.
#pragma once

#include <cstdint>
#include <string_view>

namespace hovane {

// Loaded, and DllRegisterServer returned zero or a positive status.
inline constexpr std::int32_t kRegsvrOk = 0;
// The thread's apartment could not be initialised; nothing was tried.
inline constexpr std::int32_t kRegsvrInitFailed = 2;
// The module could not be loaded (no such file, not a module, a missing dependency).
inline constexpr std::int32_t kRegsvrLoadFailed = 3;
// Loaded, but the module exports no DllRegisterServer of its own.
inline constexpr std::int32_t kRegsvrNoEntry = 4;
// DllRegisterServer returned a failure (negative) status.
inline constexpr std::int32_t kRegsvrEntryFailed = 5;

class CRegsvr {
 public:
  CRegsvr() = default;
  virtual ~CRegsvr();
  CRegsvr(const CRegsvr&) = delete;
  CRegsvr& operator=(const CRegsvr&) = delete;

  // path: the full Windows-style path of the module, narrow text in the
  // system code page; its name and extension do not matter.
  std::int32_t Register(std::string_view path);
};

}  // namespace hovane
