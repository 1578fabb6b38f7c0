// affine_map now lives with the keys, in scheme/.
#pragma once

#include "scheme/affine_map.h"
