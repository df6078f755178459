// The zapiReadItem_* readers a module uses on its class configuration.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"

using namespace hostsim;

namespace {

// The item of the class configuration `f` names, or null.
const ConfigItem* Item(World::Impl* w, FILEHANDLE f, const char* item) {
  const auto* file = OpenFileOf<ConfigFileObject>(w, f);
  return file != nullptr && item != nullptr ? file->config.Find(item) : nullptr;
}

}  // namespace

bool zapiReadItem_vec(FILEHANDLE f, const char* item, VECTOR3& val) {
  const ConfigItem* it = Item(HostCall("zapiReadItem_vec", f, item), f, item);
  return it != nullptr && ParseVector(it->value, val);
}

bool zapiReadItem_float(FILEHANDLE f, const char* item, double& val) {
  const ConfigItem* it = Item(HostCall("zapiReadItem_float", f, item), f, item);
  return it != nullptr && ParseDouble(it->value, val);
}

bool zapiReadItem_int(FILEHANDLE f, const char* item, int& val) {
  const ConfigItem* it = Item(HostCall("zapiReadItem_int", f, item), f, item);
  long long v = 0;
  if (it == nullptr || !ParseInt(it->value, v) || v < INT32_MIN || v > INT32_MAX) return false;
  val = static_cast<int>(v);
  return true;
}

bool zapiReadItem_string(FILEHANDLE f, const char* item, char* buf, int size) {
  const ConfigItem* it = Item(HostCall("zapiReadItem_string", f, item, size), f, item);
  if (it == nullptr || buf == nullptr || size <= 0) return false;
  const std::size_t n = std::min(it->value.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buf, it->value.data(), n);
  buf[n] = '\0';
  return true;
}
