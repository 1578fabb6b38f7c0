// The folder lock now lives with the rest of the file-safety code.
#pragma once

#include "files/folder_lock.h"
