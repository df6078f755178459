// The trace, streamed out: lines gather in a buffer that goes to the system when it is full, at
// each command's start and each frame's end, and at the end of the run.
#include "trace.h"

namespace hostsim::cli {

namespace {

// Large enough that a frame's lines go in a few writes, small enough to stay in the caches.
constexpr std::size_t kBufferBytes = std::size_t{64} * 1024;

}  // namespace

TraceWriter::~TraceWriter() { Unfollow(); }

void TraceWriter::Unfollow() {
  if (followed_ == nullptr) return;
  followed_->SetListener(nullptr, nullptr);
  followed_->SetEnabled(false);
  followed_ = nullptr;
}

std::string TraceWriter::Open(const std::filesystem::path& file) {
  buffer_.reserve(kBufferBytes);
  return file_.Begin(file);
}

void TraceWriter::Follow(Journal& journal) {
  followed_ = &journal;
  journal.KeepLast(0);
  journal.SetEnabled(true);
  journal.SetListener(&TraceWriter::Take, this);
}

void TraceWriter::Take(void* writer, const Journal::Entry& e) {
  auto& self = *static_cast<TraceWriter*>(writer);
  Journal::WriteLine(e, [&self](std::string_view piece) { self.buffer_ += piece; });
  self.buffer_ += '\n';
  if (self.buffer_.size() >= kBufferBytes) self.Hand();
}

void TraceWriter::Mark(std::string_view command) {
  EndOfFrame();  // what the last command did goes to the system before the next begins
  buffer_ += "# ";
  buffer_ += command;
  buffer_ += '\n';
}

void TraceWriter::EndOfFrame() {
  if (!buffer_.empty()) Hand();
}

void TraceWriter::Hand() {
  if (std::string reason = file_.Write(buffer_); !reason.empty() && error_.empty())
    error_ = std::move(reason);
  buffer_.clear();
}

std::string TraceWriter::Finish() {
  if (finished_) return error_;
  finished_ = true;
  Unfollow();
  Hand();
  if (error_.empty()) error_ = file_.Commit();
  file_.GiveUp();  // after a failure
  return error_;
}

void TraceWriter::Abandon() {
  finished_ = true;
  Unfollow();
  buffer_.clear();
  file_.GiveUp();
}

}  // namespace hostsim::cli
