// What the Windows offscreen context and the Windows window share: the window class of the
// renderer's windows and an OpenGL 3.3 core context made through WGL.
#pragma once

#include <windows.h>

#include <string>

namespace hostsim::render::wgl {

// The renderer's window class (registered once); its windows' messages go to the GlWindow
// whose procedure is stored in the window (GWLP_USERDATA), else to the system's.
const wchar_t* WindowClass();

// Sets a pixel format with OpenGL, colour, depth and (for a window that is shown) double
// buffering on `dc`, then makes an OpenGL 3.3 core context and leaves it current on this
// thread with the renderer's functions loaded. Null with the reason in `why` when it cannot.
HGLRC CreateCoreContext(HDC dc, bool doubleBuffer, std::string& why);

// "what (Windows error N)" for the calling thread's last error ("what" alone when it has none).
std::string ErrorText(const std::string& what);

// Why no window could be made, when the system has no desktop for one.
std::string NoDesktop();

}  // namespace hostsim::render::wgl
