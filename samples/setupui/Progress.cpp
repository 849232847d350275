#include "Progress.h"

#include <algorithm>
#include <cwchar>

namespace {

// Fields 1 to 4 of a progress text; false when the text has another shape.
bool ReadFields(const std::wstring& message, long long (&fields)[5]) {
    const wchar_t* cursor = message.c_str();
    bool any = false;
    for (;;) {
        while (*cursor == L' ') {
            ++cursor;
        }
        if (!*cursor) {
            return any;
        }
        wchar_t* end = nullptr;
        const long index = std::wcstol(cursor, &end, 10);
        if (end == cursor || *end != L':' || index < 1 || index > 4) {
            return false;
        }
        cursor = end + 1;
        const long long value = std::wcstoll(cursor, &end, 10);
        if (end == cursor) {
            return false;
        }
        fields[index] = value;
        cursor = end;
        any = true;
    }
}

} // namespace

void ProgressTracker::OnProgress(const std::wstring& message) {
    long long fields[5] = {};
    if (!ReadFields(message, fields)) {
        return;
    }
    switch (fields[1]) {
    case 0: // reset: a new range, forwards or backwards, for the script or its execution
        started_ = true;
        total_ = std::max(fields[2], 0LL);
        forward_ = fields[3] == 0;
        done_ = forward_ ? 0 : total_;
        script_ = fields[4] == 1;
        actionData_ = false;
        break;
    case 1: // action info: from now each action data message moves the bar by a step
        actionData_ = fields[3] != 0;
        step_ = fields[2];
        break;
    case 2: // progress report
        Advance(fields[2]);
        break;
    case 3: // more work than the reset announced
        total_ += std::max(fields[2], 0LL);
        break;
    default:
        break;
    }
}

void ProgressTracker::OnActionData() {
    if (actionData_) {
        Advance(step_);
    }
}

void ProgressTracker::Advance(long long ticks) {
    if (total_ > 0) {
        done_ = std::clamp(done_ + (forward_ ? ticks : -ticks), 0LL, total_);
    }
}

int ProgressTracker::Permille() const {
    if (!started_) {
        return 0;
    }
    const long long base = script_ ? 0 : 100;
    const long long span = script_ ? 100 : 900;
    return static_cast<int>(total_ > 0 ? base + span * done_ / total_ : base);
}
