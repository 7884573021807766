#pragma once
// The texts the user sees for the media libraries' error codes, after a file
// name and ": " ("clip.avi: No such file or directory"). A fixed table
// rather than av_strerror, so that messages read the same whatever library
// build is installed; codes outside the table read "Error number %d occurred".
#include <string>

namespace vexa {

std::string LibErrorText(int code);

}  // namespace vexa
