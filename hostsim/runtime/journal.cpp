// Host errors and the journal of host calls.
#include <algorithm>

#include "hostsim/world.h"

namespace hostsim {

namespace {

std::string ErrorText(const std::string& message, const std::string& file, int line) {
  if (file.empty()) return message;
  if (line > 0) return file + ":" + std::to_string(line) + ": " + message;
  return file + ": " + message;
}

}  // namespace

Error::Error(std::string message, std::string file, int line)
    : std::runtime_error(ErrorText(message, file, line)),
      message_(std::move(message)),
      file_(std::move(file)),
      line_(line) {}

void Journal::SetEnabled(bool on) { enabled_ = on; }

void Journal::KeepLast(std::size_t n) {
  keep_ = n;
  if (entries_.size() > keep_)
    entries_.erase(entries_.begin(), entries_.end() - static_cast<std::ptrdiff_t>(keep_));
}

void Journal::Clear() { entries_.clear(); }

std::vector<std::string> Journal::Calls() const {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (e.kind == Kind::Call) out.push_back(e.call);
  return out;
}

std::size_t Journal::Count(std::string_view call) const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(),
                    [&](const Entry& e) { return e.kind == Kind::Call && e.call == call; }));
}

std::string Journal::Dump() const {
  std::string out;
  for (const auto& e : entries_) {
    WriteLine(e, [&out](std::string_view piece) { out += piece; });
    out += '\n';
  }
  return out;
}

void Journal::Record(Kind kind, std::string self, std::string call, std::string args) {
  if (!enabled_) return;
  Entry e{kind, std::move(self), std::move(call), std::move(args)};
  if (listener_ != nullptr) listener_(listenerData_, e);
  if (keep_ == 0) return;
  entries_.push_back(std::move(e));
  // Dropping the older half at once keeps each entry's cost constant.
  if (entries_.size() / 2 >= keep_)
    entries_.erase(entries_.begin(), entries_.end() - static_cast<std::ptrdiff_t>(keep_));
}

void Journal::SetListener(Listener listener, void* data) {
  listener_ = listener;
  listenerData_ = data;
}

}  // namespace hostsim
