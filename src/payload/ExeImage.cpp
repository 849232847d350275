#include "payload/ExeImage.h"

#include "log/Logger.h"
#include "payload/Extraction.h"
#include "payload/ImageError.h"

#include <vector>

std::wstring ReadCurrentDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            ThrowImageError("GetCurrentDirectory failed");
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        // Too long for the buffer: the result is the size needed, terminating NUL included.
        buffer.assign(length, L'\0');
    }
}

ExeImage::ExeImage() {
    // Never set back: the image is looked up by its bare name from its own directory.
    if (!SetSearchPathMode(BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE)) {
        ThrowImageError("SetSearchPathMode failed");
    }

    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        ThrowImageError("GetModuleFileName failed");
    }
    const std::wstring modulePath(buffer, length);
    Logger << "ExeImage: module path is " << modulePath << std::endl;

    const std::size_t separator = modulePath.rfind(L'\\');
    if (separator == std::wstring::npos) {
        ThrowImageError("GetModuleFileName returned invalid path");
    }
    const std::wstring directory = modulePath.substr(0, separator);
    const std::wstring fileName = modulePath.substr(separator + 1);

    std::wstring saved = ReadCurrentDirectory();
    if (!SetCurrentDirectoryW(directory.c_str())) {
        ThrowImageError("SetCurrentDirectory failed");
    }
    const CurrentDirectoryGuard restore(std::move(saved));

    image_ = ImageLoad(WideToUtf8(fileName).c_str(), nullptr);
    if (image_ == nullptr) {
        ThrowImageError("ImageLoad failed");
    }
}

ExeImage::~ExeImage() {
    if (image_ != nullptr) {
        ImageUnload(image_);
    }
}

void ExeImage::ExtractResource(uint16_t id, const std::wstring& path, CopyObserver* observer) {
    ExtractResourceFrom(image_, id, path, observer);
}

uint32_t ExeImage::ResourceSize(uint16_t id) const {
    return FindResourceSize(image_, id);
}
