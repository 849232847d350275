#pragma once

#include <string>

// Follows Windows Installer's progress messages as its documentation describes them
// (reset, action info, report, add to total, and the action data ticks) and turns them
// into one bar position for the whole run: generating the script fills the first tenth,
// executing it the rest. A rollback runs the bar backwards.
class ProgressTracker {
  public:
    // One INSTALLMESSAGE_PROGRESS text, "1: <kind> 2: <n> 3: <n> 4: <n> "; texts of
    // another shape are ignored.
    void OnProgress(const std::wstring& message);
    void OnActionData();

    // 0 to 1000.
    int Permille() const;
    // Whether the installer has begun to change the machine (past the script generation).
    bool Executing() const { return started_ && !script_; }

  private:
    void Advance(long long ticks);

    bool started_ = false;
    bool script_ = false;
    bool forward_ = true;
    bool actionData_ = false;
    long long total_ = 0;
    long long done_ = 0;
    long long step_ = 0;
};
