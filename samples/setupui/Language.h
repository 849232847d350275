#pragma once

#include "common/UniqueHandle.h"
#include "ui/LanguageRule.h"

#include <string>
#include <vector>

// The satellite folders to try for a locale name: the product language the bootstrapper
// also chooses for it (ui/LanguageRule.h), then "en-US": "de-AT" gives "de", "en-US".
std::vector<std::wstring> SatelliteCandidates(const std::wstring& localeName);

// The setup UI's strings: from the first "<tag>\SetupUI.resources.dll" beside the program
// that loads, mapped as data only (its code never runs), else the program's own English
// ones. A string missing from the satellite also comes from the program.
class SetupStrings {
  public:
    SetupStrings(HINSTANCE program, const std::wstring& directory,
                 const std::vector<std::wstring>& candidates);

    // The language whose satellite is used; empty when none loaded.
    const std::wstring& tag() const { return tag_; }
    std::wstring Get(UINT id) const;

  private:
    HINSTANCE program_;
    UniqueLibrary satellite_;
    std::wstring tag_;
};
