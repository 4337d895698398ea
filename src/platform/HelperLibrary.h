// The helper library functions the system calls (Plinth.dll).
#pragma once

#include "Plinth.h"
