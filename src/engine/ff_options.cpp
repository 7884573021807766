#include "engine/ff_options.h"
