// QDCLIENT's resource symbols.
#pragma once
#include "shell_resource.h"

#define IDC_MAKE_CALL 1000
