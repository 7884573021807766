#pragma once
// Shared pieces of the fuzz targets: the media libraries, a quiet log relay
// and a scratch file that each input is written to.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vexa::fuzz {

// Loads the engine's and the probe's libraries once (aborts when they are
// missing: no input could reach the code under test) and silences the log.
void LoadLibraries();

// Back to the quietest log level; options may have raised it.
void QuietLog();

// A file of this process in the temporary folder, holding exactly the bytes
// given; the same path on every call.
const std::string& WriteScratch(const uint8_t* data, size_t size, const char* suffix);

}  // namespace vexa::fuzz
