#pragma once
// The built-in presets (x264 encoder settings by name) and the frame rates
// of the DVD/VCD norms.
#include <string>
#include <vector>

namespace vexa {

struct TOptionsPreset {
    std::string Name;
    std::string Value;  // key=value lines separated by LF
};

// The 36 entries, in table order.
const std::vector<TOptionsPreset>& BuiltinPresets();
// Lookup without regard to case; null when there is none.
const TOptionsPreset* FindBuiltinPreset(const std::string& name);

enum TNorm { nmPAL, nmNTSC, nmFILM };
// "25", "30000/1001", "24000/1001".
const char* TargetFrameRate(TNorm norm);

}  // namespace vexa
