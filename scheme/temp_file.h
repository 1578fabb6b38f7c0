// Temporaries now live with the rest of the file-safety code.
#pragma once

#include "files/temp_file.h"
