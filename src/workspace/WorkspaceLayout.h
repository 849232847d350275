#pragma once

#include <array>
#include <cstdint>

// What an install run lays out in its workspace: each file is the "BIN" resource of the
// id, copied out of the bootstrapper's own executable.

struct PayloadFile {
    uint16_t resourceId;
    const wchar_t* fileName;
};

inline constexpr wchar_t kSetupUiFileName[] = L"SetupUI.exe";

// Extracted in this order and deleted in the reverse one.
inline constexpr std::array<PayloadFile, 4> kPayloads{{
    {135, L"Orvanta.msi"},
    {132, L"DotNet.exe"},
    {133, kSetupUiFileName},
    {134, L"SetupUI.exe.config"},
}};

// Each language's satellite is this file in a subdirectory named after the tag.
inline constexpr wchar_t kSatelliteFileName[] = L"SetupUI.resources.dll";

struct Satellite {
    const wchar_t* tag;
    uint16_t resourceId;
};

inline constexpr std::array<Satellite, 9> kSatellites{{
    {L"de", 136},
    {L"en-US", 137},
    {L"es", 138},
    {L"fr", 139},
    {L"it", 140},
    {L"ja", 141},
    {L"pt-BR", 142},
    {L"ru", 143},
    {L"zh-Hans", 144},
}};
