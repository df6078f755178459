// Windows' UTF-16 text and UTF-8 both ways, for the system's wide-character functions (the
// command line of a child process, a window's title, typed characters). Windows only.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#include <string>
#include <string_view>

namespace hostsim::platform {

// The UTF-16 text of UTF-8 `utf8` (invalid bytes become U+FFFD).
inline std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// The UTF-8 text of UTF-16 `wide` (an unpaired surrogate becomes U+FFFD).
inline std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

}  // namespace hostsim::platform

#endif
