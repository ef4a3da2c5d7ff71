// The foreign-setup marker: a file in the install folder whose presence
// records that the client was set up as the foreign variant. The system
// writes it (COptionFile::SetForeignSetupMarker) and never reads it.
#pragma once

#include <cstdint>
#include <string_view>

namespace hovane {

inline constexpr char kForeignMarkerName[] = "HoVaneF.ses";
// The marker's content as stored: 28 bytes, ending in CR LF.
inline constexpr std::string_view kForeignMarkerContent = "[ Hovane Foreign Setup ] 1\r\n";

// A find on the exact path: 1 when a file or a folder of that name exists.
std::int32_t FileExists(std::string_view path);

}  // namespace hovane
