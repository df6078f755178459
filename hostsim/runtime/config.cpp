// Class configuration files and the zapiReadItem_* readers a module uses on them.
#include "hostsim/runtime/config.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hostsim/runtime/internal.h"

namespace hostsim {

std::string_view Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::size_t b = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > b) words.emplace_back(text.substr(b, i - b));
  }
  return words;
}

namespace {

// ParseDouble of a text without blanks around it.
bool ParseWord(std::string_view t, double& out) {
  if (t.empty()) return false;
  // A plain decimal number (digits, point, exponent, an optional minus) within the range of a
  // double is read by from_chars, which rounds exactly as strtod does and needs no copy. The
  // rest (a plus sign, hexadecimal, inf and nan, numbers beyond the range, malformed texts)
  // goes to strtod, whose verdict stands.
  const char first = t[t.front() == '-' && t.size() > 1 ? 1 : 0];
  if ((first >= '0' && first <= '9') || first == '.') {
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec == std::errc() && end == t.data() + t.size()) {
      out = v;
      return true;
    }
  }
  // strtod wants a terminated text: an ordinary number is copied to the stack, only a very
  // long one to the heap.
  char small[64];
  std::string big;
  const char* s = small;
  if (t.size() < sizeof small) {
    std::memcpy(small, t.data(), t.size());
    small[t.size()] = '\0';
  } else {
    big.assign(t);
    s = big.c_str();
  }
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end != s + t.size()) return false;
  out = v;  // overflow gives +-inf, which is kept as given
  return true;
}

}  // namespace

bool ParseDouble(std::string_view text, double& out) { return ParseWord(Trim(text), out); }

bool ParseVector(std::string_view text, VECTOR3& out) {
  // Exactly three words, each a number.
  double n[3] = {};
  std::size_t count = 0, i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t b = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i == b) break;
    if (count == 3 || !ParseWord(text.substr(b, i - b), n[count])) return false;
    ++count;
  }
  if (count != 3) return false;
  out = {n[0], n[1], n[2]};
  return true;
}

bool ParseInt(std::string_view text, long long& out) {
  const std::string_view t = Trim(text);
  if (t.empty()) return false;
  // Decimal digits with an optional minus, in range, as from_chars reads them; anything else
  // (a plus sign, an overflow) is left to strtoll.
  long long v = 0;
  if (const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 10);
      ec == std::errc() && end == t.data() + t.size()) {
    out = v;
    return true;
  }
  std::string s(t);
  char* end = nullptr;
  errno = 0;
  v = std::strtoll(s.c_str(), &end, 10);
  if (end != s.c_str() + s.size() || errno == ERANGE) return false;
  out = v;
  return true;
}

bool ConfigItem::AsVector(VECTOR3& out) const {
  if (vectorRead_ == 0) vectorRead_ = ParseVector(value, vector_) ? 1 : -1;
  if (vectorRead_ < 0) return false;
  out = vector_;
  return true;
}

const ConfigItem* ConfigFile::Find(std::string_view key) const {
  for (const auto& item : items)
    if (EqualsNoCase(item.key, key)) return &item;
  return nullptr;
}

std::vector<const ConfigItem*> ConfigFile::FindAll(std::string_view key) const {
  std::vector<const ConfigItem*> out;
  for (const auto& item : items)
    if (EqualsNoCase(item.key, key)) out.push_back(&item);
  return out;
}

ConfigFile ParseConfig(std::string_view text, const std::string& file) {
  ConfigFile cfg;
  cfg.file = file;
  int number = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(pos, nl - pos);
    ++number;
    pos = nl + 1;
    if (line.find('\0') != std::string_view::npos)
      throw Error("configuration line holds a zero byte", file, number);
    // Any other control character but the tab (and a CRLF line's CR) marks a binary file.
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      const bool lineEnd = c == '\r' && i + 1 == line.size();
      if (((c < 0x20 && c != '\t') || c == 0x7F) && !lineEnd)
        throw Error("configuration line holds a control character (not a text file?)", file,
                    number);
    }
    if (auto c = line.find(';'); c != std::string_view::npos) line = line.substr(0, c);
    line = Trim(line);
    if (line.empty()) {
      if (nl == text.size()) break;
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string_view::npos)
      throw Error("expected 'key = value', got \"" + std::string(line) + "\"", file, number);
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) throw Error("configuration item without a key", file, number);
    cfg.items.push_back({std::string(key), std::string(Trim(line.substr(eq + 1))), number});
    if (nl == text.size()) break;
  }
  return cfg;
}

ConfigFile ReadConfig(const std::filesystem::path& path) {
  // A folder may open like a file and read as empty.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw Error("cannot read class configuration: a folder", path.string());
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read class configuration", path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) throw Error("cannot read class configuration", path.string());
  return ParseConfig(ss.str(), path.string());
}

namespace {

const ConfigFile* ConfigOf(World::Impl* w, FILEHANDLE f) {
  if (w == nullptr) return nullptr;
  auto* obj = w->File<ConfigFileObject>(f, FileObject::Kind::Config);
  return obj != nullptr ? obj->config : nullptr;
}

}  // namespace

}  // namespace hostsim

using namespace hostsim;

bool zapiReadItem_vec(FILEHANDLE f, const char* item, VECTOR3& val) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiReadItem_vec", f, item);
  const ConfigFile* cfg = ConfigOf(w, f);
  if (cfg == nullptr || item == nullptr) return false;
  const ConfigItem* it = cfg->Find(item);
  return it != nullptr && it->AsVector(val);
}

bool zapiReadItem_float(FILEHANDLE f, const char* item, double& val) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiReadItem_float", f, item);
  const ConfigFile* cfg = ConfigOf(w, f);
  if (cfg == nullptr || item == nullptr) return false;
  const ConfigItem* it = cfg->Find(item);
  return it != nullptr && ParseDouble(it->value, val);
}

bool zapiReadItem_int(FILEHANDLE f, const char* item, int& val) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiReadItem_int", f, item);
  const ConfigFile* cfg = ConfigOf(w, f);
  if (cfg == nullptr || item == nullptr) return false;
  const ConfigItem* it = cfg->Find(item);
  long long v = 0;
  if (it == nullptr || !ParseInt(it->value, v) || v < INT32_MIN || v > INT32_MAX) return false;
  val = static_cast<int>(v);
  return true;
}

bool zapiReadItem_string(FILEHANDLE f, const char* item, char* buf, int size) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiReadItem_string", f, item, size);
  const ConfigFile* cfg = ConfigOf(w, f);
  if (cfg == nullptr || item == nullptr || buf == nullptr || size <= 0) return false;
  const ConfigItem* it = cfg->Find(item);
  if (it == nullptr) return false;
  std::size_t n = std::min(it->value.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buf, it->value.data(), n);
  buf[n] = '\0';
  return true;
}
