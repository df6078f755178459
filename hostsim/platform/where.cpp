// Telling where a fault was from the frames of its stack.
#include "hostsim/platform/where.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace hostsim::platform {

namespace {

std::string Hex(std::uintptr_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + digits;
}

// The last part of a path, either separator.
std::string_view NameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string SourceOf(const CodeFrame& f, bool shortName) {
  return std::string(shortName ? NameOf(f.file) : std::string_view(f.file)) + ":" +
         std::to_string(f.line);
}

// "LIB: FUNC at FILE:LINE", as much of it as is known.
std::string Whole(const CodeFrame& f) {
  if (f.library.empty()) return "unknown code";
  std::string text = f.library;
  text += f.function.empty() ? " at offset " + Hex(f.offset) : ": " + f.function;
  if (f.line > 0) text += " at " + SourceOf(f, false);
  return text;
}

// "FUNC at FILE:LINE", for a caller in the same library.
std::string Caller(const CodeFrame& f) {
  std::string text = f.function.empty() ? "offset " + Hex(f.offset) : f.function;
  if (f.line > 0) text += " at " + SourceOf(f, false);
  return text;
}

// "FILE:LINE in FUNC" or "LIB: FUNC", names without folders.
std::string Brief(const CodeFrame& f) {
  if (f.library.empty()) return "unknown code";
  std::string what = f.function.empty() ? "offset " + Hex(f.offset) : f.function;
  // Namespaces without a name and parameters make the line long and tell little there.
  constexpr std::string_view kAnonymous = "(anonymous namespace)::";
  for (std::size_t at = what.find(kAnonymous); at != std::string::npos; at = what.find(kAnonymous))
    what.erase(at, kAnonymous.size());
  if (const std::size_t paren = what.find('('); paren != std::string::npos && paren > 0)
    what.erase(paren);
  if (f.line > 0) return SourceOf(f, true) + " in " + what;
  return std::string(NameOf(f.library)) + ": " + what;
}

}  // namespace

bool IsLibrarySource(const std::string& file) {
  static constexpr std::array<std::string_view, 4> kRoots = {"/usr/include/", "/usr/lib/",
                                                             "/usr/local/include/", "/opt/"};
  static constexpr std::array<std::string_view, 4> kParts = {"/include/c++/", "/c++/v1/",
                                                             "/mingw32/include/", "/bits/"};
  return std::any_of(kRoots.begin(), kRoots.end(),
                     [&](std::string_view r) { return file.starts_with(r); }) ||
         std::any_of(kParts.begin(), kParts.end(),
                     [&](std::string_view p) { return file.find(p) != std::string::npos; });
}

bool InModuleLibrary(const std::vector<const void*>& stack,
                     const std::vector<ModuleLibrary>& modules) {
  for (const ModuleLibrary& m : modules) {
    const void* base = LibraryBase(m.code);
    if (base != nullptr && std::any_of(stack.begin(), stack.end(), [base](const void* address) {
          return LibraryBase(address) == base;
        }))
      return true;
  }
  return false;
}

Where FindWhere(const std::vector<const void*>& stack, const std::vector<ModuleLibrary>& modules) {
  Where where;
#if defined(_WIN32)
  where.note = "on Windows code is named by library and offset, without functions or lines";
#endif
  if (stack.empty()) return where;
  // Every frame, inlined calls too, innermost first.
  std::vector<CodeFrame> frames;
  for (std::vector<CodeFrame>& at : CodeFrames(stack))
    for (CodeFrame& f : at) frames.push_back(std::move(f));
  std::vector<bool> inModule(frames.size(), false);
  for (const ModuleLibrary& m : modules) {
    const void* base = LibraryBase(m.code);
    if (base == nullptr) continue;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      if (frames[i].base != base) continue;
      inModule[i] = true;
      frames[i].library = m.shown;
    }
  }
  const auto authors = [&](std::size_t i) {
    return inModule[i] && frames[i].line > 0 && !IsLibrarySource(frames[i].file);
  };
  std::size_t first = 0;
  while (first < frames.size() && !authors(first)) ++first;
  if (first == frames.size())
    first = static_cast<std::size_t>(std::find(inModule.begin(), inModule.end(), true) -
                                     inModule.begin());
  if (first == frames.size()) {
    where.innermost.push_back(frames.front());
    return where;
  }
  where.author.push_back(frames[first]);
  for (std::size_t i = first + 1; i < frames.size() && inModule[i]; ++i) {
    if (where.author.size() > kCallersNamed) break;
    if (authors(i)) where.author.push_back(frames[i]);
  }
  if (first > 0) where.innermost.push_back(frames.front());
  return where;
}

std::vector<std::string> Where::Lines() const {
  std::vector<std::string> lines;
  if (!author.empty()) {
    lines.push_back(Whole(author.front()));
    for (std::size_t i = 1; i < author.size(); ++i)
      lines.push_back("called from " + Caller(author[i]));
    if (!innermost.empty()) lines.push_back("innermost: " + Whole(innermost.front()));
  } else if (!innermost.empty()) {
    lines.push_back(Whole(innermost.front()));
  }
  if (!note.empty()) lines.push_back("(" + note + ")");
  return lines;
}

std::string Where::Line(std::size_t width) const {
  std::string text;
  if (!author.empty()) {
    text = Brief(author.front());
    if (!innermost.empty()) text += ", innermost in " + Brief(innermost.front());
  } else if (!innermost.empty()) {
    text = Brief(innermost.front());
  }
  if (width > 3 && text.size() > width) text = text.substr(0, width - 3) + "...";
  return text;
}

}  // namespace hostsim::platform
