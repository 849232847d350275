#pragma once

#include <windows.h>

#include <string>

// The language of the bootstrapper's own windows. Its texts and dialog templates are
// resources of the executable in each product language; they are looked up in the chosen
// language, and in English where that language has none.

// Chooses the product language ("de", "en-US", ... "zh-Hans") whose texts are used from
// now on; until it is called, English.
void SetUiLanguage(const std::wstring& productLanguage);
// The chosen product language.
const std::wstring& UiLanguage();

// The language of the executable's resources for a product language; English is the
// resources' English (United Kingdom).
LANGID ResourceLanguageOf(const std::wstring& productLanguage);

// The text of the string resource with the id, in the chosen language; empty when there
// is none in English either.
std::wstring UiText(UINT id);

// The dialog template with the id, in the chosen language; null when there is none in
// English either.
const DLGTEMPLATE* UiDialogTemplate(int id);
