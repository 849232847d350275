#pragma once

#include "common/UniqueHandle.h"

#include <string>
#include <vector>

// The user's UI language as a locale name ("de-DE"); empty when Windows names none.
std::wstring UserUiLanguage();

// The satellite folders to try for a locale name, most specific first, then "en-US":
// "de-AT" gives "de-AT", "de", "en-US"; Chinese goes through its script, so "zh-CN" gives
// "zh-CN", "zh-Hans", "zh", "en-US". A name that is not a plain language tag is skipped.
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
