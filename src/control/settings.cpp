#include "control/settings.h"

#include <cstring>

#include "platform/shell/shell.h"

namespace hovane {

CHoVaneUpdateModule::~CHoVaneUpdateModule() { FreeFetchList(); }

bool CHoVaneUpdateModule::IsVistaOrLater() {
  if (m_nOsMajorVersion > 5) return true;
  auto version = platform::GetOsVersion();
  if (!version) return false;
  m_nOsMajorVersion = static_cast<std::int32_t>(version->major);
  return version->major > 5u;
}

void CHoVaneUpdateModule::AllocFetchList(std::size_t count) {
  // The block is cleared so that every byte holding neither the count nor a
  // name is zero: the list request sends the records as they stand.
  m_pFetchList = new FetchRecord[count];
  if (count > 0) std::memset(m_pFetchList, 0, count * sizeof(FetchRecord));
  m_nFetchListCapacity = count;
}

bool CHoVaneUpdateModule::FreeFetchList() {
  delete[] m_pFetchList;
  m_pFetchList = nullptr;
  m_nFetchListCapacity = 0;
  return true;
}

CHoVaneUpdateModule& TheModule() {
  static CHoVaneUpdateModule module;
  return module;
}

}  // namespace hovane
