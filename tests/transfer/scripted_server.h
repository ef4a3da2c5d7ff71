// A file server that follows a script instead of the protocol, on 127.0.0.1
// inside the test process: it sends exactly the bytes a test gives it, so
// that tests can play broken and hostile servers, and it records every byte
// the client sent.
//
// The script runs on the first connection, on a thread of its own, once
// Start() is called. When the steps are done the server reads on until the
// client closes (recording), then closes. Every wait of the server is
// bounded (30 s), so a broken client fails a test instead of hanging it.
// The destructor ends the script, closes everything and joins the thread.
//
// Also here: the wire bytes that scripts send, built by hand from the record
// layouts (not with the client's own encoder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace hovane::test {

class ScriptedServer {
 public:
  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t port() const;

  // Steps, in the order given.
  ScriptedServer& Read(std::size_t count);  // exactly count bytes, fewer if the client closes
  ScriptedServer& Send(std::string bytes);
  ScriptedServer& Close();  // orderly close (FIN); ends the script
  ScriptedServer& Reset();  // abortive close (RST); ends the script
  // Waits until another thread calls ResetNow() or CloseNow().
  ScriptedServer& Hold();

  void Start();

  // From any thread, while the script is at Hold (or about to reach it):
  // closes the connection abortively / orderly and returns once it is done.
  void ResetNow();
  void CloseNow();

  // Every byte read from the client, once the script and the reading after
  // it have ended (waits for that).
  std::string Received();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Wire bytes, little-endian, as the protocol lays them out.
std::string Le32(std::int32_t value);
std::string LeDouble(double value);
// A 28-byte header; userId is cut or zero-filled to 12 bytes.
std::string Header(std::int32_t command, std::int32_t count, std::int32_t itemSize,
                   std::int32_t status = 0, std::string_view userId = {});
// A 1292-byte download entry; name and directory are cut or zero-filled to 256.
std::string Entry(std::string_view name, std::string_view directory = "files",
                  std::int32_t position = 0);
// A list reply with the given entries.
std::string ListReply(std::initializer_list<std::string> entries);
// A file reply: the header {1000, 1, 8, 0} and the total as a double.
std::string FileReply(double total);
// An error reply: a header with status -1 and the text in 256 bytes.
std::string ErrorReply(std::string_view text, std::int32_t command = 1000);
std::string EndReply();

// Sizes of the client's messages.
inline constexpr std::size_t kHeaderBytes = 28;
inline constexpr std::size_t kFileRequestBytes = 28 + 776;
inline std::size_t ListRequestBytes(std::size_t names) { return 28 + names * 260; }

}  // namespace hovane::test
