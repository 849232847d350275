#include "payload/ImageError.h"

#include "log/Logger.h"

#include <stdexcept>

void LogImageError(const char* step, DWORD code) {
    Logger << "ExeImage: " << step << " Error: " << static_cast<unsigned long>(code) << std::endl;
}

void ThrowImageError(const char* step) {
    const DWORD code = GetLastError();
    LogImageError(step, code);
    throw std::runtime_error("Image loading failed");
}
