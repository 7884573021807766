// Conversion from the command line.
#include "cli/cli.h"

namespace vexa::cli {

int RunConvert(const std::vector<std::string>&)
{
    throw UsageError{"convert: the conversion engine is not part of this build yet"};
}

}  // namespace vexa::cli
