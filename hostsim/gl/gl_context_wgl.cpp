// The offscreen context on Windows: a window that is never shown, whose device context carries
// a WGL context of OpenGL 3.3 core (the renderer draws into framebuffer objects). WGL hands out
// contexts of a version above 1.1 only through an extension function, which a plain context
// must be current to ask for.
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <GL/wglext.h>
// clang-format on

#include <memory>
#include <mutex>
#include <string>

#include "hostsim/error.h"
#include "hostsim/gl/gl_api.h"
#include "hostsim/gl/gl_context.h"
#include "hostsim/gl/wgl.h"

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

namespace {

PIXELFORMATDESCRIPTOR PlainFormat(bool doubleBuffer) {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doubleBuffer ? PFD_DOUBLEBUFFER : 0);
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cDepthBits = 24;
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}

// A double-buffered pixel format with 4 samples a pixel for `dc`; 0 when the driver has none.
// The driver's function that finds one must be asked for with a context current, made for the
// purpose on a window of its own (a window's pixel format is set once).
int MultisampledFormat(HDC dc) {
  HWND helper = CreateWindowExW(0, WindowClass(), L"hostsim", WS_OVERLAPPEDWINDOW, 0, 0, 16, 16,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (helper == nullptr) return 0;
  int format = 0;
  HDC helperDc = GetDC(helper);
  PIXELFORMATDESCRIPTOR pfd = PlainFormat(true);
  const int plainFormat = helperDc != nullptr ? ChoosePixelFormat(helperDc, &pfd) : 0;
  HGLRC context = plainFormat != 0 && SetPixelFormat(helperDc, plainFormat, &pfd)
                      ? wglCreateContext(helperDc)
                      : nullptr;
  if (context != nullptr && wglMakeCurrent(helperDc, context)) {
    const auto choose = reinterpret_cast<PFNWGLCHOOSEPIXELFORMATARBPROC>(
        reinterpret_cast<void*>(wglGetProcAddress("wglChoosePixelFormatARB")));
    const int attribs[] = {WGL_DRAW_TO_WINDOW_ARB,
                           1,
                           WGL_SUPPORT_OPENGL_ARB,
                           1,
                           WGL_DOUBLE_BUFFER_ARB,
                           1,
                           WGL_PIXEL_TYPE_ARB,
                           WGL_TYPE_RGBA_ARB,
                           WGL_COLOR_BITS_ARB,
                           24,
                           WGL_DEPTH_BITS_ARB,
                           24,
                           WGL_SAMPLE_BUFFERS_ARB,
                           1,
                           WGL_SAMPLES_ARB,
                           4,
                           0};
    UINT count = 0;
    if (choose == nullptr || !choose(dc, attribs, nullptr, 1, &format, &count) || count == 0)
      format = 0;
    wglMakeCurrent(nullptr, nullptr);
  }
  if (context != nullptr) wglDeleteContext(context);
  if (helperDc != nullptr) ReleaseDC(helper, helperDc);
  DestroyWindow(helper);
  return format;
}

}  // namespace

HGLRC CreateCoreContext(HDC dc, bool doubleBuffer, std::string& why) {
  // A window is multisampled when the driver offers it, plain otherwise.
  PIXELFORMATDESCRIPTOR pfd{};
  const int multisampled = doubleBuffer ? MultisampledFormat(dc) : 0;
  bool set = multisampled != 0 && DescribePixelFormat(dc, multisampled, sizeof pfd, &pfd) != 0 &&
             SetPixelFormat(dc, multisampled, &pfd);
  if (!set) {
    pfd = PlainFormat(doubleBuffer);
    const int format = ChoosePixelFormat(dc, &pfd);
    set = format != 0 && SetPixelFormat(dc, format, &pfd);
  }
  if (!set) {
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
