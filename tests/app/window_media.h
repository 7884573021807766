#pragma once
// Short clips made once per test program for the window's adding and runs.
#include <string>

namespace vexa::app::test {

// The folder holding a.avi, b.avi, c.avi (each two seconds, video and
// audio) and notes.txt; made on first call.
const std::string& WindowMedia();

}  // namespace vexa::app::test
