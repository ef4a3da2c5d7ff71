// The install dialog as the check and install run sees it. The control
// does not know the toolkit: the module registers the real dialog when it
// starts in a process, and RealCheckVersion runs whatever is registered.
//
// Threading: RunModal is called on the page's thread and returns when the
// dialog has closed; meanwhile that thread keeps handling events. The
// registration is process-wide and made before any control runs a check.
#pragma once

namespace hovane {

class InstallDialogRunner {
 public:
  virtual ~InstallDialogRunner() = default;
  // Shows the install dialog modally. It reads the fetch list and the
  // settings of TheModule(), downloads and installs, records the outcome in
  // m_bUpdateSucceeded and frees the fetch list when it closes.
  virtual void RunModal() = 0;
};

// Registers the runner (not owned; it must outlive every check), or none.
void SetInstallDialogRunner(InstallDialogRunner* runner);
// The registered runner, or nullptr.
InstallDialogRunner* GetInstallDialogRunner();

}  // namespace hovane
