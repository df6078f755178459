// Linkage of the host interface: how host exports and module exports are marked.
//
// The host runtime exports every function and class declared in host/; a module
// imports them. A module exports its own entry points (see module_entry.h) and
// nothing else. The same macros serve a POSIX shared library and a Windows DLL.
#pragma once

#if defined(_WIN32)
#if defined(ZAPI_BUILDING_HOST)
#define ZAPI_EXPORT __declspec(dllexport)
#else
#define ZAPI_EXPORT __declspec(dllimport)
#endif
#define ZVC_EXPORT __declspec(dllexport)
#else
// Marks what the host runtime exports: exported by the runtime, imported by a module.
#define ZAPI_EXPORT __attribute__((visibility("default")))
// Marks a module's entry points, the only symbols a module exports.
#define ZVC_EXPORT __attribute__((visibility("default")))
#endif

// Marks a free function implemented by the host.
#define ZAPI_FUNC ZAPI_EXPORT
// Marks a class implemented by the host.
#define ZAPI_CLASS ZAPI_EXPORT
