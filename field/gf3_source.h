// gf3_source now lives with the keys, in scheme/.
#pragma once

#include "scheme/gf3_source.h"
