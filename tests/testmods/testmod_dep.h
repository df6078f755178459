// A plain shared library that a test module depends on. It exports an "ExitModule" of its
// own, which the dependent module's load hook must not take for the module's exit hook.
#pragma once

#include "host/host.h"

#if defined(_WIN32)
#if defined(TESTMOD_DEP_BUILDING)
#define TESTMOD_DEP_API __declspec(dllexport)
#else
#define TESTMOD_DEP_API __declspec(dllimport)
#endif
#else
#define TESTMOD_DEP_API __attribute__((visibility("default")))
#endif

extern "C" {
// Records "ExitModule" in the current world's journal, like a module's exit hook would.
TESTMOD_DEP_API void ExitModule(MODULEHANDLE hModule);
// Something for the dependent module to use, so that the link keeps the dependency.
TESTMOD_DEP_API int TestmodDepVersion();
}
