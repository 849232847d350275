#include "SetupConfig.h"

#include "common/UniqueHandle.h"

#include <map>
#include <stdexcept>
#include <vector>

namespace {

constexpr DWORD kMaxConfigSize = 64 * 1024;
const wchar_t kDefaultLogFile[] = L"OrvantaInstall.log";

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        throw std::runtime_error("config: not UTF-8");
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

[[noreturn]] void Malformed() {
    throw std::runtime_error("config: malformed");
}

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c == L':' || c == L'.' || c == L'-';
}

std::wstring DecodeEntities(const std::wstring& raw) {
    static const std::pair<const wchar_t*, wchar_t> entities[] = {
        {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
    std::wstring text;
    for (size_t i = 0; i < raw.size();) {
        if (raw[i] != L'&') {
            text += raw[i++];
            continue;
        }
        bool known = false;
        for (const auto& [name, character] : entities) {
            if (raw.compare(i, wcslen(name), name) == 0) {
                text += character;
                i += wcslen(name);
                known = true;
                break;
            }
        }
        if (!known) {
            Malformed();
        }
    }
    return text;
}

// A name that Windows keeps as written and that stays in the program's own folder.
bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name.size() > 200 || name == L"." || name == L".." || name.back() == L'.' ||
        name.back() == L' ') {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c)) {
            return false;
        }
    }
    return true;
}

// Walks the document's tags, keeping the path of open elements, and collects the key and
// value of every <add> under <configuration><appSettings>.
class ConfigScanner {
  public:
    explicit ConfigScanner(std::wstring text) : text_(std::move(text)) {}

    std::map<std::wstring, std::wstring> ReadSettings() {
        std::map<std::wstring, std::wstring> settings;
        while ((position_ = text_.find(L'<', position_)) != std::wstring::npos) {
            if (Skip(L"<?", L"?>") || Skip(L"<!--", L"-->")) {
                continue;
            }
            if (text_.compare(position_, 2, L"<!") == 0) {
                Malformed(); // no DTDs or CDATA in our file
            }
            if (text_.compare(position_, 2, L"</") == 0) {
                position_ += 2;
                const std::wstring name = ReadName();
                SkipSpace();
                Expect(L'>');
                if (open_.empty() || open_.back() != name) {
                    Malformed();
                }
                open_.pop_back();
                continue;
            }
            ++position_;
            const std::wstring name = ReadName();
            std::map<std::wstring, std::wstring> attributes;
            bool empty = false;
            for (;;) {
                SkipSpace();
                if (text_.compare(position_, 2, L"/>") == 0) {
                    position_ += 2;
                    empty = true;
                    break;
                }
                if (At(L'>')) {
                    ++position_;
                    break;
                }
                const std::wstring attribute = ReadName();
                SkipSpace();
                Expect(L'=');
                SkipSpace();
                if (!attributes.emplace(attribute, ReadQuoted()).second) {
                    Malformed();
                }
            }
            if (name == L"add" &&
                open_ == std::vector<std::wstring>{L"configuration", L"appSettings"}) {
                const auto key = attributes.find(L"key");
                const auto value = attributes.find(L"value");
                if (key == attributes.end() || value == attributes.end()) {
                    Malformed();
                }
                settings[key->second] = value->second;
            }
            if (!empty) {
                open_.push_back(name);
            }
        }
        if (!open_.empty()) {
            Malformed();
        }
        return settings;
    }

  private:
    bool At(wchar_t c) const { return position_ < text_.size() && text_[position_] == c; }

    void Expect(wchar_t c) {
        if (!At(c)) {
            Malformed();
        }
        ++position_;
    }

    void SkipSpace() {
        while (position_ < text_.size() && IsSpace(text_[position_])) {
            ++position_;
        }
    }

    bool Skip(const wchar_t* opening, const wchar_t* closing) {
        if (text_.compare(position_, wcslen(opening), opening) != 0) {
            return false;
        }
        const size_t end = text_.find(closing, position_ + wcslen(opening));
        if (end == std::wstring::npos) {
            Malformed();
        }
        position_ = end + wcslen(closing);
        return true;
    }

    std::wstring ReadName() {
        const size_t start = position_;
        while (position_ < text_.size() && IsNameChar(text_[position_])) {
            ++position_;
        }
        if (position_ == start) {
            Malformed();
        }
        return text_.substr(start, position_ - start);
    }

    std::wstring ReadQuoted() {
        if (!At(L'"') && !At(L'\'')) {
            Malformed();
        }
        const wchar_t quote = text_[position_++];
        const size_t end = text_.find(quote, position_);
        if (end == std::wstring::npos) {
            Malformed();
        }
        const std::wstring raw = text_.substr(position_, end - position_);
        if (raw.find(L'<') != std::wstring::npos) {
            Malformed();
        }
        position_ = end + 1;
        return DecodeEntities(raw);
    }

    std::wstring text_;
    size_t position_ = 0;
    std::vector<std::wstring> open_;
};

} // namespace

SetupConfig ParseSetupConfig(const std::string& text) {
    std::wstring wide = Utf8ToWide(text);
    if (!wide.empty() && wide.front() == L'\xFEFF') {
        wide.erase(0, 1);
    }
    std::map<std::wstring, std::wstring> settings = ConfigScanner(std::move(wide)).ReadSettings();

    SetupConfig config;
    config.package = settings[L"Package"];
    config.logFile = settings.count(L"LogFile") ? settings[L"LogFile"] : kDefaultLogFile;
    if (!IsPlainFileName(config.package) || !IsPlainFileName(config.logFile)) {
        throw std::runtime_error("config: bad file name");
    }
    return config;
}

SetupConfig ReadSetupConfig(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        throw std::runtime_error("config: cannot open");
    }
    if (size.QuadPart > kMaxConfigSize) {
        throw std::runtime_error("config: too large");
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD total = 0;
    while (total < text.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), text.data() + total, static_cast<DWORD>(text.size()) - total,
                      &read, nullptr) ||
            read == 0) {
            throw std::runtime_error("config: cannot read");
        }
        total += read;
    }
    return ParseSetupConfig(text);
}
