// Class configuration files.
#include "hostsim/runtime/config.h"

#include <map>

#include "hostsim/error.h"
#include "hostsim/platform/files.h"
#include "hostsim/runtime/format.h"

namespace hostsim {

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
  std::map<std::string, int> firstLine;  // of each key, folded
  ForEachLine(text, file, "configuration line", [&](std::string_view line, int number) {
    line = Trim(line.substr(0, line.find(';')));
    if (line.empty()) return;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
      throw Error("expected 'key = value', got " + Quote(line), file, number);
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) throw Error("configuration item without a key", file, number);
    // Only the first of a key given twice would count: the second is refused rather than
    // ignored. Attachment lines each add a point.
    if (const auto [it, first] = firstLine.emplace(Folded(key), number);
        !first && !EqualsNoCase(key, "Attachment"))
      throw Error(Quote(key) + " is given again (first on line " + std::to_string(it->second) + ")",
                  file, number);
    cfg.items.push_back({std::string(key), std::string(Trim(line.substr(eq + 1))), number});
  });
  return cfg;
}

ConfigFile ReadConfig(const std::filesystem::path& path) {
  std::string text;
  if (std::string reason = platform::ReadTextFile(path, platform::kConfigLimit, text);
      !reason.empty())
    throw Error("cannot read class configuration: " + reason, path.string());
  return ParseConfig(text, path.string());
}

std::filesystem::path ClassConfigPath(const std::filesystem::path& folder,
                                      const std::string& className) {
  if (className == "." || className == ".." || className.find_first_of("/\\:") != std::string::npos)
    throw Error("a class name is a name, not a path: " + Quote(className));
  return folder /
         std::filesystem::path(std::u8string(className.begin(), className.end()) + u8".cfg");
}

bool ClassConfigPresent(const std::filesystem::path& path) {
  std::error_code ec;
  // The link itself, not what it leads to: a link that loops or leads nowhere is there.
  return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

ClassItems ReadClassItems(const ConfigFile& cfg) {
  ClassItems out;
  if (const ConfigItem* it = cfg.Find("Mesh"); it != nullptr && !it->value.empty()) {
    out.mesh = it->value;
    out.meshLine = it->line;
  }
  // A size or a mass is a positive number: zero or less has no meaning for a vessel.
  auto positive = [&](const char* key, std::optional<double>& dst) {
    if (const ConfigItem* it = cfg.Find(key)) {
      double v = 0;
      if (!ParseDouble(it->value, v))
        throw Error(std::string(key) + " must be one number, got " + Quote(it->value), cfg.file,
                    it->line);
      if (!(v > 0))
        throw Error(std::string(key) + " must be positive, got " + Quote(it->value), cfg.file,
                    it->line);
      dst = v;
    }
  };
  positive("Size", out.size);
  positive("Mass", out.mass);
  for (const ConfigItem* it : cfg.FindAll("Attachment")) {
    const std::vector<std::string> w = SplitWords(it->value);
    bool ok = w.size() == 11 && (EqualsNoCase(w[0], "P") || EqualsNoCase(w[0], "C"));
    double n[9] = {};
    for (std::size_t i = 0; ok && i < 9; ++i) ok = ParseDouble(w[i + 1], n[i]);
    if (!ok)
      throw Error("Attachment must be: P|C px py pz dx dy dz rx ry rz ID, got " + Quote(it->value),
                  cfg.file, it->line);
    ClassItems::Point& p = out.points.emplace_back();
    p.toParent = EqualsNoCase(w[0], "P");
    p.pos = {n[0], n[1], n[2]};
    p.dir = {n[3], n[4], n[5]};
    p.rot = {n[6], n[7], n[8]};
    p.id = w[10];
  }
  return out;
}

}  // namespace hostsim
