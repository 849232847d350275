#pragma once

#include "payload/ExeImage.h"
#include "workspace/ScopedFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One language subdirectory of the workspace with its satellite file. When it goes, the
// file is deleted first, then the directory is removed.
class SatelliteDirectory {
  public:
    SatelliteDirectory(std::wstring path, std::unique_ptr<ScopedFile> file);
    ~SatelliteDirectory();
    SatelliteDirectory(const SatelliteDirectory&) = delete;
    SatelliteDirectory& operator=(const SatelliteDirectory&) = delete;

  private:
    std::wstring path_;
    std::unique_ptr<ScopedFile> file_;
};

// The per-language satellite files of the setup user interface program, laid out in the
// workspace and removed again in the order they were added.
class SatelliteSet {
  public:
    // The workspace path ends in a backslash; the image, and the observer of the copies if
    // there is one, must outlive the set.
    SatelliteSet(std::wstring workspacePath, ExeImage& image, CopyObserver* observer = nullptr);
    ~SatelliteSet();
    SatelliteSet(const SatelliteSet&) = delete;
    SatelliteSet& operator=(const SatelliteSet&) = delete;

    // Lays out workspace + tag + "\SetupUI.resources.dll" from the "BIN" resource id.
    void AddSatellite(const std::wstring& tag, uint16_t id);

  private:
    std::wstring workspacePath_;
    ExeImage& image_;
    CopyObserver* observer_;
    std::vector<std::unique_ptr<SatelliteDirectory>> satellites_;
};
