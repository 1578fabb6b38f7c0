// composition now lives with the keys, in scheme/.
#pragma once

#include "scheme/composition.h"
