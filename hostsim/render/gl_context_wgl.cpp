// The offscreen context on Windows: a window that is never shown, whose device context carries
// a WGL context of OpenGL 3.3 core (the renderer draws into framebuffer objects). WGL hands out
// contexts of a version above 1.1 only through an extension function, which a plain context
// must be current to ask for.
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "hostsim/error.h"
#include "hostsim/render/gl_api.h"
#include "hostsim/render/gl_context.h"
#include "hostsim/render/wgl.h"

namespace hostsim::render {
namespace wgl {

namespace {

// WGL_ARB_create_context and WGL_ARB_create_context_profile.
constexpr int kContextMajorVersion = 0x2091;
constexpr int kContextMinorVersion = 0x2092;
constexpr int kContextProfileMask = 0x9126;
constexpr int kContextCoreProfileBit = 0x0001;
using CreateContextAttribs = HGLRC(WINAPI*)(HDC, HGLRC, const int*);

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  using Handler = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
  if (auto handler = reinterpret_cast<Handler>(GetWindowLongPtrW(window, GWLP_USERDATA)))
    return handler(window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::string ErrorText(const std::string& what) {
  const DWORD code = GetLastError();
  return code != 0 ? what + " (Windows error " + std::to_string(code) + ")" : what;
}

std::string NoDesktop() {
  return ErrorText("cannot create a window") +
         ": is there a desktop? (Under Wine: an X display named in DISPLAY)";
}

const wchar_t* WindowClass() {
  static const wchar_t* const name = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;  // one device context a window, kept
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"hostsim-render";
    RegisterClassExW(&wc);
    return L"hostsim-render";
  }();
  return name;
}

HGLRC CreateCoreContext(HDC dc, bool doubleBuffer, std::string& why) {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doubleBuffer ? PFD_DOUBLEBUFFER : 0);
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cDepthBits = 24;
  pfd.iLayerType = PFD_MAIN_PLANE;
  const int format = ChoosePixelFormat(dc, &pfd);
  if (format == 0 || !SetPixelFormat(dc, format, &pfd)) {
    why = ErrorText("no pixel format with OpenGL") +
          ": is an OpenGL driver installed (under Wine: is DISPLAY an X display)?";
    return nullptr;
  }
  HGLRC plain = wglCreateContext(dc);
  if (plain == nullptr || !wglMakeCurrent(dc, plain)) {
    why = ErrorText("cannot create an OpenGL context");
    if (plain != nullptr) wglDeleteContext(plain);
    return nullptr;
  }
  const auto create = reinterpret_cast<CreateContextAttribs>(
      reinterpret_cast<void*>(wglGetProcAddress("wglCreateContextAttribsARB")));
  const int attribs[] = {kContextMajorVersion,   3, kContextMinorVersion, 3, kContextProfileMask,
                         kContextCoreProfileBit, 0};
  HGLRC core = create != nullptr ? create(dc, nullptr, attribs) : nullptr;
  const std::string coreError = ErrorText("cannot create an OpenGL 3.3 core context");
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(plain);
  if (core == nullptr) {
    why = create != nullptr ? coreError
                            : "the OpenGL driver cannot make contexts of a version above 1.1";
    return nullptr;
  }
  if (!wglMakeCurrent(dc, core)) {
    why = ErrorText("cannot make the OpenGL 3.3 context current");
    wglDeleteContext(core);
    return nullptr;
  }
  if (const std::string missing = LoadGlFunctions(); !missing.empty()) {
    why = "the OpenGL driver has no " + missing;
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(core);
    return nullptr;
  }
  return core;
}

}  // namespace wgl

namespace {

class WglContext final : public GlContext {
 public:
  WglContext() = default;
  ~WglContext() override {
    if (context_ != nullptr) {
      if (wglGetCurrentContext() == context_) wglMakeCurrent(nullptr, nullptr);
      wglDeleteContext(context_);
    }
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
    if (window_ != nullptr) DestroyWindow(window_);
  }
  WglContext(const WglContext&) = delete;
  WglContext& operator=(const WglContext&) = delete;

  void Open() {
    window_ = CreateWindowExW(0, wgl::WindowClass(), L"hostsim", WS_OVERLAPPEDWINDOW, 0, 0, 16, 16,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) Fail(wgl::NoDesktop());
    dc_ = GetDC(window_);
    if (dc_ == nullptr) Fail(wgl::ErrorText("no device context"));
    std::string why;
    context_ = wgl::CreateCoreContext(dc_, false, why);
    if (context_ == nullptr) Fail(why);
  }

  bool MakeCurrent() override { return wglMakeCurrent(dc_, context_) != FALSE; }

  std::string CurrentError() override {
    return wgl::ErrorText("cannot make the offscreen context current");
  }

 private:
  [[noreturn]] static void Fail(const std::string& what) {
    throw Error("render: no offscreen OpenGL context: " + what);
  }

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
};

}  // namespace

std::unique_ptr<GlContext> GlContext::Create() {
  auto context = std::make_unique<WglContext>();
  context->Open();
  return context;
}

}  // namespace hostsim::render
