// The window on Windows: a Win32 window with a WGL context, its messages told in the window's
// own form. Keys come as the scan codes Windows reports (hostsim/keys/keys.h), typed text from
// WM_CHAR.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>

#include "hostsim/gl/gl_context.h"
#include "hostsim/gl/wgl.h"
#include "hostsim/keys/keys.h"
#include "hostsim/platform/wide_text.h"

namespace hostsim::render {
namespace {

using SwapInterval = BOOL(WINAPI*)(int);

class Win32Window final : public GlWindow {
 public:
  Win32Window() = default;
  ~Win32Window() override { Close({}); }
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  bool Open(const std::string& title, int width, int height, std::string& why) {
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, style, FALSE);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
    const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - h) / 2);
    window_ = CreateWindowExW(0, wgl::WindowClass(), platform::WideFromUtf8(title).c_str(), style,
                              x, y, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) {
      why = "no display to open the window on: " + wgl::NoDesktop();
      return false;
    }
    // The window's messages come to this object from here on.
    SetPropW(window_, L"hostsim-window", this);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&Win32Window::Message));
    dc_ = GetDC(window_);
    std::string reason;
    context_ = dc_ != nullptr ? wgl::CreateCoreContext(dc_, true, reason) : nullptr;
    if (context_ == nullptr) {
      why = "cannot open an OpenGL 3.3 window: " +
            (dc_ != nullptr ? reason : wgl::ErrorText("no device context"));
      return false;
    }
    // Swaps wait for the display where it offers that; the loop keeps to 60 frames a second
    // where it does not.
    if (const auto interval = reinterpret_cast<SwapInterval>(
            reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT"))))
      interval(1);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    return true;
  }

  bool NextEvent(WindowEvent& e, int timeoutMs) override {
    if (events_.empty()) Pump();
    if (events_.empty() && timeoutMs > 0) {
      MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(timeoutMs), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
      Pump();
    }
    if (events_.empty()) return false;
    e = std::move(events_.front());
    events_.pop_front();
    return true;
  }

  void DrawableSize(int& W, int& H) const override {
    RECT r{};
    GetClientRect(window_, &r);
    W = std::max(1, static_cast<int>(r.right - r.left));
    H = std::max(1, static_cast<int>(r.bottom - r.top));
  }

  void Swap() override { SwapBuffers(dc_); }

  void Close(const std::set<std::string>&) override {
    if (context_ != nullptr) {
      if (wglGetCurrentContext() == context_) wglMakeCurrent(nullptr, nullptr);
      wglDeleteContext(context_);
      context_ = nullptr;
    }
    if (window_ != nullptr) {
      if (dc_ != nullptr) ReleaseDC(window_, dc_);
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      RemovePropW(window_, L"hostsim-window");
      DestroyWindow(window_);
      window_ = nullptr;
      dc_ = nullptr;
    }
  }

 private:
  static LRESULT Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<Win32Window*>(GetPropW(window, L"hostsim-window"));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
  }

  // Everything waiting in the thread's queue, through the window procedure into events_.
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  void Push(WindowEvent::Type type) {
    WindowEvent e;
    e.type = type;
    events_.push_back(std::move(e));
  }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_CLOSE:  // the window stays until the loop is done with it
        Push(WindowEvent::Type::Close);
        return 0;
      case WM_KILLFOCUS:
        if (GetCapture() == window_) ReleaseCapture();
        Push(WindowEvent::Type::FocusLost);
        return 0;
      case WM_SIZE:
        Push(wParam == SIZE_MINIMIZED ? WindowEvent::Type::Hidden : WindowEvent::Type::Shown);
        return 0;
      case WM_SHOWWINDOW:
        Push(wParam != FALSE ? WindowEvent::Type::Shown : WindowEvent::Type::Hidden);
        return 0;
      case WM_PAINT:
        ValidateRect(window_, nullptr);
        Push(WindowEvent::Type::Shown);
        return 0;
      case WM_ERASEBKGND:  // every frame covers the whole window
        return 1;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
      case WM_KEYUP:
      case WM_SYSKEYUP: {
        const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        // Alt+F4 closes the window as everywhere on Windows; the system's other handling of
        // Alt and F10 (the window menu) would stop the loop while it lasts.
        if (message == WM_SYSKEYDOWN && wParam == VK_F4)
          return DefWindowProcW(window_, message, wParam, lParam);
        WindowEvent e;
        e.type = down ? WindowEvent::Type::KeyDown : WindowEvent::Type::KeyUp;
        e.key =
            Set1CodeOfWindowsKey(static_cast<std::uint32_t>(lParam), static_cast<unsigned>(wParam));
        e.repeat = down && (lParam & (1L << 30)) != 0;
        e.shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (wParam >= 'A' && wParam <= 'Z') e.letter = static_cast<char>('a' + (wParam - 'A'));
        events_.push_back(std::move(e));
        return 0;
      }
      case WM_CHAR: {
        const auto unit = static_cast<wchar_t>(wParam & 0xFFFF);
        if (unit >= 0xD800 && unit < 0xDC00) {  // the first half of a pair
          highSurrogate_ = unit;
          return 0;
        }
        std::wstring typed(1, unit);
        if (unit >= 0xDC00 && unit < 0xE000) {
          if (highSurrogate_ == 0) return 0;
          typed.insert(typed.begin(), highSurrogate_);
        }
        highSurrogate_ = 0;
        if (unit < 0x20 || unit == 0x7F) return 0;  // Enter, Backspace, Escape, Ctrl+letter
        WindowEvent e;
        e.type = WindowEvent::Type::Text;
        e.text = platform::Utf8FromWide(typed);
        events_.push_back(std::move(e));
        return 0;
      }
      case WM_SYSCHAR:  // Alt+key: no text, and no beep
        return 0;
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        SetCapture(window_);  // a drag goes on outside the window
        return 0;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) ReleaseCapture();
        return 0;
      case WM_MOUSEMOVE: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (havePointer_ && (at.x != pointer_.x || at.y != pointer_.y)) {
          WindowEvent e;
          e.type = WindowEvent::Type::Mouse;
          e.dx = at.x - pointer_.x;
          e.dy = at.y - pointer_.y;
          e.orbit = (wParam & MK_LBUTTON) != 0;
          e.pan = (wParam & (MK_RBUTTON | MK_MBUTTON)) != 0;
          events_.push_back(std::move(e));
        }
        pointer_ = at;
        havePointer_ = true;
        return 0;
      }
      case WM_MOUSEWHEEL: {
        WindowEvent e;
        e.type = WindowEvent::Type::Wheel;
        e.wheel = GET_WHEEL_DELTA_WPARAM(wParam) / static_cast<double>(WHEEL_DELTA);
        events_.push_back(std::move(e));
        return 0;
      }
      default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
  }

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  std::deque<WindowEvent> events_;
  POINT pointer_{};
  bool havePointer_ = false;
  wchar_t highSurrogate_ = 0;
};

}  // namespace

std::unique_ptr<GlWindow> GlWindow::Open(const std::string& title, int W, int H, bool,
                                         std::string& why) {
  auto window = std::make_unique<Win32Window>();
  if (!window->Open(title, W, H, why)) return nullptr;
  return window;
}

}  // namespace hostsim::render
