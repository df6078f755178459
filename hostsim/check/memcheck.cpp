// Valgrind's memcheck for `hostsim check --memcheck`, and the reading of its XML report: each
// <error> has a <what> (or an <xwhat> with a <text>) and, first, the <stack> where it
// happened, whose <frame>s name their <obj>, <fn>, <file> and <line>.
#include "hostsim/check/memcheck.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace hostsim::check {

namespace fs = std::filesystem;

namespace {

// The text between <tag> and </tag> in `text` from `from` on, and where it ends; npos when
// there is none.
std::string_view Element(std::string_view text, std::string_view tag, std::size_t& from) {
  const std::string open = "<" + std::string(tag) + ">";
  const std::string close = "</" + std::string(tag) + ">";
  const std::size_t start = text.find(open, from);
  if (start == std::string_view::npos) {
    from = std::string_view::npos;
    return {};
  }
  const std::size_t body = start + open.size();
  const std::size_t end = text.find(close, body);
  if (end == std::string_view::npos) {
    from = std::string_view::npos;
    return {};
  }
  from = end + close.size();
  return text.substr(body, end - body);
}

std::string_view First(std::string_view text, std::string_view tag) {
  std::size_t from = 0;
  return Element(text, tag, from);
}

// XML's five escapes undone.
std::string Unescape(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, ch] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        out += ch;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(p, ec);
  return ec ? p : c;
}

}  // namespace

fs::path FindValgrind() {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "";
  while (!dirs.empty()) {
    const std::size_t colon = dirs.find(':');
    fs::path candidate = fs::path(dirs.substr(0, colon)) / "valgrind";
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate;
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
  }
  return {};
}

std::vector<std::string> MemcheckArgs(const fs::path& xml) {
  return {"--tool=memcheck", "--xml=yes", "--xml-file=" + xml.string(),
          // Leaks are the counting checks' business; a copy of the process made for a crash
          // report is left alone.
          "--leak-check=no", "--child-silent-after-fork=yes",
          // Where a value never set came from, for the report.
          "--track-origins=yes"};
}

std::string MemoryError::Text() const {
  std::string out = what;
  if (!function.empty()) out += " in " + function;
  if (!place.empty()) out += " at " + place;
  return out;
}

std::vector<MemoryError> ModuleErrors(const std::string& xml, const fs::path& module) {
  const fs::path wanted = Canonical(module);
  std::vector<MemoryError> out;
  std::size_t from = 0;
  for (;;) {
    const std::string_view error = Element(xml, "error", from);
    if (from == std::string_view::npos) break;
    std::string_view what = First(error, "what");
    if (what.empty()) what = First(First(error, "xwhat"), "text");
    const std::string_view stack = First(error, "stack");  // where it happened
    std::size_t at = 0;
    for (;;) {
      const std::string_view frame = Element(stack, "frame", at);
      if (at == std::string_view::npos) break;
      const std::string_view obj = First(frame, "obj");
      if (obj.empty() || Canonical(fs::path(Unescape(obj))) != wanted) continue;
      MemoryError e;
      e.what = Unescape(what);
      e.function = Unescape(First(frame, "fn"));
      const std::string_view file = First(frame, "file");
      if (!file.empty()) e.place = Unescape(file) + ":" + Unescape(First(frame, "line"));
      // The same fault reached by other paths through the host is told once.
      if (std::none_of(out.begin(), out.end(),
                       [&](const MemoryError& o) { return o.Text() == e.Text(); }))
        out.push_back(std::move(e));
      break;
    }
  }
  return out;
}

}  // namespace hostsim::check
