// Class configuration files: "key = value" lines, ';' starts a comment, keys matched without
// regard to case. Plain functions from text to records, free of any world.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"
#include "hostsim/runtime/text.h"

namespace hostsim {

struct ConfigItem {
  std::string key;
  std::string value;  // trimmed, comment removed
  int line = 0;
};

struct ConfigFile {
  std::string file;  // path as shown in messages
  std::vector<ConfigItem> items;

  // The first item named `key` (any case), or null.
  const ConfigItem* Find(std::string_view key) const;
  // Every item named `key`, in file order.
  std::vector<const ConfigItem*> FindAll(std::string_view key) const;
};

// Parses configuration text; throws Error naming `file` and the line of a malformed line, or
// of a key given a second time (the error names the first line; Attachment may repeat).
ConfigFile ParseConfig(std::string_view text, const std::string& file);
// Reads and parses a configuration file; throws Error when it cannot be read.
ConfigFile ReadConfig(const std::filesystem::path& path);

// The configuration file of a class: `folder`/<class>.cfg. A class name is a name: one that
// is a path (with a '/', a backslash or a ':', or "." or "..") is refused with an Error, so that a
// scenario, a session or a module cannot make the host read a file outside the folder.
std::filesystem::path ClassConfigPath(const std::filesystem::path& folder,
                                      const std::string& className);

// False when nothing at all stands at `path`, the place of a class's configuration: the class is
// unknown. Anything else (a file, a folder, a link that loops or leads nowhere) is there, and
// reading it says what it is and why it cannot be read.
bool ClassConfigPresent(const std::filesystem::path& path);

// The items of a class configuration that the host defines, from which a class without a module
// sets up its vessels:
//   Mesh = <name>, Size = <m>, Mass = <kg> (positive numbers),
//   Attachment = <P|C> px py pz dx dy dz rx ry rz <ID>   (repeatable; P to-parent, C child)
struct ClassItems {
  std::string mesh;  // empty: none
  int meshLine = 0;
  std::optional<double> size, mass;
  struct Point {
    bool toParent = false;
    VECTOR3 pos{0, 0, 0}, dir{0, 0, 0}, rot{0, 0, 0};
    std::string id;
  };
  std::vector<Point> points;
};
// Reads those items, of any class, a module's too; throws Error naming the file and line of a
// malformed one (a Size or Mass that is not a positive number among them).
ClassItems ReadClassItems(const ConfigFile& cfg);

}  // namespace hostsim
