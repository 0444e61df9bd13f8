// windows.h as every Windows backend includes it, and nothing else may: without its rarely used
// parts (the common dialogs' header defines FindText and ReplaceText as macros) and without the
// min and max macros.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
