// The module that every string, dialog, menu, icon and bitmap is loaded from.
// It is the executable itself unless the application module names another
// one, so code that runs before the module is initialised (static objects,
// tests) still finds its resources.
#pragma once

#include <windows.h>

HINSTANCE GetResourceInstance();
// Called by the application module; null goes back to the executable.
void SetResourceInstance(HINSTANCE instance);
