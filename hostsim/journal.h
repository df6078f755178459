// hostsim: the journal, the world's record of every host call and callback.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

// The record of host calls. Every call a module makes into the host (kind Call) and every
// callback the host makes into a module (kind Callback) is appended in order while enabled.
class Journal {
 public:
  enum class Kind { Call, Callback };
  struct Entry {
    Kind kind;
    std::string self;  // vessel the call was made on or for; empty for free functions
    std::string call;  // e.g. "SetSize", "zapiLoadMesh", "SpotLight::SetAperture"
    std::string args;  // arguments as text: numbers %.17g, vectors (x, y, z), texts quoted
  };

  // Turns recording on or off; entries already kept stay.
  void SetEnabled(bool on);
  // Whether Record keeps what it is given.
  bool Enabled() const { return enabled_; }
  // Keeps only the latest entries, at least `n` and fewer than 2n, so that a long run's
  // journal stays small (its indices then no longer count from the start); 0 keeps none, and
  // the entries only reach the listener. A new journal keeps them all.
  void KeepLast(std::size_t n);
  // Drops every entry kept.
  void Clear();
  // The entries kept, oldest first.
  const std::vector<Entry>& Entries() const { return entries_; }
  // Names of the recorded host calls (kind Call only), in order.
  std::vector<std::string> Calls() const;
  // How many host calls of that name were recorded.
  std::size_t Count(std::string_view call) const;
  // One line per entry: "self: call(args)" for calls, "self: -> callback(args)" for callbacks.
  std::string Dump() const;
  // Hands `put` the pieces of `e`'s line as Dump writes it, without its line end, the
  // arguments cut after `argsLimit` bytes with "..."; allocates nothing, so a crash report may
  // use it.
  template <class Put>
  static void WriteLine(const Entry& e, Put&& put, std::size_t argsLimit = std::string::npos) {
    if (!e.self.empty()) {
      put(std::string_view(e.self));
      put(std::string_view(": "));
    }
    if (e.kind == Kind::Callback) put(std::string_view("-> "));
    put(std::string_view(e.call));
    put(std::string_view("("));
    put(std::string_view(e.args).substr(0, argsLimit));
    if (e.args.size() > argsLimit) put(std::string_view("..."));
    put(std::string_view(")"));
  }
  // While enabled: tells the listener of the entry, then keeps it (trimming as KeepLast asked).
  void Record(Kind kind, std::string self, std::string call, std::string args);
  // Called with every entry recorded, before it is kept (null: none).
  using Listener = void (*)(void* data, const Entry& entry);
  // Sets the listener and the data handed to it, replacing any earlier one.
  void SetListener(Listener listener, void* data);

 private:
  bool enabled_ = true;
  std::size_t keep_ = static_cast<std::size_t>(-1);
  std::vector<Entry> entries_;
  Listener listener_ = nullptr;
  void* listenerData_ = nullptr;
};

}  // namespace hostsim
