// The library's load and unload hook on Windows: DllMain, which the loader calls on process
// and thread attach and detach.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "module/load_hook.h"

// C linkage: the C runtime's DLL start-up code calls DllMain by its plain name.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID /*reserved*/) {
  MODULEHANDLE self = reinterpret_cast<MODULEHANDLE>(hinstDLL);
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // GetProcAddress searches the export table of this one module only.
      lumipod_module::OnLibraryLoad(self, [hinstDLL](const char* name) {
        return reinterpret_cast<ModuleExitHook>(
            reinterpret_cast<void*>(GetProcAddress(hinstDLL, name)));
      });
      break;
    case DLL_PROCESS_DETACH:
      lumipod_module::OnLibraryUnload(self);
      break;
    default:
      break;
  }
  return TRUE;
}
