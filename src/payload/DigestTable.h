#pragma once

#include <windows.h>

#include <imagehlp.h>

#include <cstdint>
#include <optional>
#include <string_view>

// The build records the digest of every "BIN" resource in one more resource, type
// "DIGESTS" id 1: ASCII text whose first line is "XXH3-64" and whose other lines are each a
// decimal resource id, one blank and the 16 lower-case hex digits of the XXH3 64-bit digest
// (seed 0) of that resource's bytes, every line ended by a line feed.

// The digest the table text records for the id; none when the id is not named or the text
// is not in that form anywhere.
std::optional<uint64_t> FindRecordedDigest(std::string_view table, uint16_t id);

// The digest recorded in the image for the "BIN" resource id. A missing or malformed table,
// or one that does not name the id, is logged with the id and raised as DamagedSetup.
uint64_t RecordedDigest(const LOADED_IMAGE* image, uint16_t id);
