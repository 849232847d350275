#include "payload/SatelliteSet.h"

#include "log/Logger.h"
#include "workspace/WorkspaceLayout.h"

#include <windows.h>

SatelliteDirectory::SatelliteDirectory(std::wstring path, std::unique_ptr<ScopedFile> file)
    : path_(std::move(path)), file_(std::move(file)) {}

SatelliteDirectory::~SatelliteDirectory() {
    file_.reset();
    if (!RemoveDirectoryW(path_.c_str())) {
        Logger << L"RemoveDirectory failed: " << path_ << std::endl;
    }
}

SatelliteSet::SatelliteSet(std::wstring workspacePath, ExeImage& image, CopyObserver* observer)
    : workspacePath_(std::move(workspacePath)), image_(image), observer_(observer) {}

SatelliteSet::~SatelliteSet() {
    // First added, first removed.
    for (auto& satellite : satellites_) {
        satellite.reset();
    }
}

void SatelliteSet::AddSatellite(const std::wstring& tag, uint16_t id) {
    std::wstring directory = workspacePath_ + tag;
    // An existing directory is used as it is; one that cannot be made shows up as the
    // failure to create the file in it.
    CreateDirectoryW(directory.c_str(), nullptr);
    auto file = std::make_unique<ScopedFile>();
    const std::wstring filePath = directory + L"\\" + kSatelliteFileName;
    // A failed extraction leaves the directory in place, empty: it is owned only once its
    // file has been written.
    image_.ExtractResource(id, filePath, observer_);
    file->path = filePath;
    file->Lock();
    satellites_.push_back(
        std::make_unique<SatelliteDirectory>(std::move(directory), std::move(file)));
}
