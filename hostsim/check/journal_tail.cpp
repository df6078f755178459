// The journal tail file: a count of the lines written so far, then a ring of fixed slots,
// each a line ended by a zero byte. The slot being written when the process was killed is
// the oldest of the ring and is not read.
#include "hostsim/check/journal_tail.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace hostsim::check {

namespace {

constexpr std::size_t kSlots = 17;  // 16 lines to read, one being written
constexpr std::size_t kSlot = 400;  // bytes of a line with its ending zero
constexpr std::size_t kHeader = 16;
constexpr char kMagic[8] = {'h', 's', 't', 'a', 'i', 'l', '1', '\n'};

}  // namespace

JournalTailFile::JournalTailFile(const std::filesystem::path& path)
    : map_(path, kHeader + kSlots * kSlot) {
  if (map_.data() != nullptr) std::memcpy(map_.data(), kMagic, sizeof kMagic);
}

void JournalTailFile::Add(const Journal::Entry& e) {
  char* base = map_.data();
  if (base == nullptr) return;
  std::uint64_t count = 0;
  std::memcpy(&count, base + sizeof kMagic, sizeof count);
  char* slot = base + kHeader + (count % kSlots) * kSlot;
  std::size_t n = 0;
  // Room is left for "...)" and the ending zero.
  auto put = [&](std::string_view s, std::size_t end = kSlot - 5) {
    const std::size_t k = std::min(s.size(), end - std::min(end, n));
    std::memcpy(slot + n, s.data(), k);
    n += k;
  };
  if (!e.self.empty()) {
    put(e.self);
    put(": ");
  }
  if (e.kind == Journal::Kind::Callback) put("-> ");
  put(e.call);
  put("(");
  const std::size_t before = n;
  put(e.args);
  if (n - before < e.args.size()) put("...", kSlot - 2);
  std::memcpy(slot + n, ")", 2);
  ++count;
  std::memcpy(base + sizeof kMagic, &count, sizeof count);
}

void JournalTailFile::Listen(void* data, const Journal::Entry& e) {
  static_cast<JournalTailFile*>(data)->Add(e);
}

std::vector<std::string> ReadJournalTail(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  std::vector<std::string> out;
  if (text.size() != kHeader + kSlots * kSlot || text.compare(0, sizeof kMagic, kMagic, 8) != 0)
    return out;
  std::uint64_t count = 0;
  std::memcpy(&count, text.data() + sizeof kMagic, sizeof count);
  const std::uint64_t from = count > kSlots - 1 ? count - (kSlots - 1) : 0;
  for (std::uint64_t i = from; i < count; ++i) {
    const char* slot = text.data() + kHeader + (i % kSlots) * kSlot;
    out.emplace_back(slot, std::find(slot, slot + kSlot, '\0'));
  }
  return out;
}

}  // namespace hostsim::check
