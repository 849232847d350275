#pragma once

#include <fstream>
#include <string>

// The setup log: a narrow file stream that writes wide text as UTF-8 and flushes after
// every wide piece and every line end, so that each line can be read in the file at once.
// While closed or failed, every insertion does nothing and raises nothing.
class _Logger : public std::basic_ofstream<char> {
  public:
    _Logger() = default;
    _Logger(const _Logger&) = delete;
    _Logger& operator=(const _Logger&) = delete;

    _Logger& operator<<(const std::wstring& text);
    _Logger& operator<<(const wchar_t* text) { return *this << std::wstring(text); }

    // Narrow pieces and numbers go through the stream and are not flushed by themselves.
    // Exit codes are signed 32-bit values, last-error codes unsigned ones.
    _Logger& operator<<(const char* text) { return insert(text); }
    _Logger& operator<<(const std::string& text) { return insert(text); }
    _Logger& operator<<(int value) { return insert(value); }
    _Logger& operator<<(long value) { return insert(value); }
    _Logger& operator<<(unsigned int value) { return insert(value); }
    _Logger& operator<<(unsigned long value) { return insert(value); }
    _Logger& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
        manipulator(*this);
        return *this;
    }

  private:
    template <typename T> _Logger& insert(const T& value) {
        static_cast<std::ostream&>(*this) << value;
        return *this;
    }
};

// The process-wide log, closed until OpenSetupLog.
extern _Logger Logger;

// Opens directory + "Setup.log" (no separator is inserted) for binary output, truncating
// it, shared with other readers and writers. A failure only leaves the log failed.
void OpenSetupLog(const std::wstring& directory);

// The UTF-8 form of the text up to its first NUL; empty for empty or unconvertible text.
std::string WideToUtf8(const std::wstring& text);
