#pragma once

#include <string>

// Deletes the payloads that runs which were killed left in the workspaces beside this
// run's own, whose path ends in a backslash: only names of the install run's files, only
// in real directories named like workspaces that no live run holds. Never raises, writes
// no log and waits for nothing: what cannot be deleted stays for a later run.
void ClearDeadWorkspaces(const std::wstring& workspace);
