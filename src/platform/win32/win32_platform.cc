// Placeholder until the Win32 implementation lands.
#include "platform/win32/win32_platform.h"
