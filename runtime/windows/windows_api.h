// windows.h as every Windows backend includes it, and nothing else may: without its rarely used
// parts (the common dialogs' header defines FindText and ReplaceText as macros), without the min
// and max macros, and without MessageBox, which would rename the program's own (the window's
// MessageBox and Controls::MessageBox) to MessageBoxA wherever this header comes first.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef MessageBox
