#pragma once

#include <windows.h>

#include <imagehlp.h>

#include <cstdint>
#include <string>

#include "payload/CopyObserver.h"

// Where a resource's bytes lie in the image's file, and what they must digest to.
struct ResourceLocation {
    uint16_t id = 0;
    uint64_t position = 0;
    uint32_t size = 0;
    uint64_t digest = 0;
};

// Walks ".rsrc" -> "BIN" -> id -> the one language entry of the image and returns where the
// data lies (its digest left 0). Raises the name of the failing operation; touches no file and logs
// nothing.
ResourceLocation LocateResource(const LOADED_IMAGE* image, uint16_t id);

// The size of the resource, or 0 when the walk to it fails; logs nothing.
uint32_t FindResourceSize(const LOADED_IMAGE* image, uint16_t id);

// Copies the resource's bytes from the source file into a new file at the path, in chunks of
// 1 MiB, digesting them on the way. A file that was not written whole, or whose bytes do
// not match the digest (DamagedSetup), is closed and deleted before the error is logged and
// raised. The observer, if any, follows the chunks and may stop the copy.
void CopyResourceBytes(HANDLE source, const ResourceLocation& resource, const std::wstring& path,
                       CopyObserver* observer = nullptr);

// Copies the "BIN" resource with the id out of the image into a new file at the path,
// checked against the digest the build recorded. The walk and the digest lookup fail
// before any file exists.
void ExtractResourceFrom(const LOADED_IMAGE* image, uint16_t id, const std::wstring& path,
                         CopyObserver* observer = nullptr);
