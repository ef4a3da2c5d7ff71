// The check and install run: CheckVersion and RealCheckVersion.
#include "control/control.h"

namespace hovane {

// LEAD: replace with the check procedure and the elevated hand-over.
HRESULT CHoVaneUpdateInstaller::CheckVersion(VARIANT_BOOL* /*bResult*/) { return E_NOTIMPL; }

// LEAD: replace with the fetch list, the cleanups and the install dialog.
HRESULT CHoVaneUpdateInstaller::RealCheckVersion(VARIANT_BOOL* /*bResult*/) { return E_NOTIMPL; }

}  // namespace hovane
