#pragma once

#include <string>

#include "common/SystemThread.h"

// Deletes the payloads that runs which were killed left in the workspaces beside this
// run's own, whose path ends in a backslash: only names of the install run's files, only
// in real directories named like workspaces that no live run holds. Never raises, writes
// no log and waits for nothing: what cannot be deleted stays for a later run.
void ClearDeadWorkspaces(const std::wstring& workspace);

// Clears the dead workspaces on a thread of its own, beside the run's own work: after a
// while there are hundreds of earlier workspaces, each listed. Waits for it when it goes.
class DeadWorkspaceSweep {
  public:
    explicit DeadWorkspaceSweep(const std::wstring& workspace);
    DeadWorkspaceSweep(const DeadWorkspaceSweep&) = delete;
    DeadWorkspaceSweep& operator=(const DeadWorkspaceSweep&) = delete;

  private:
    SystemThread thread_;
};
