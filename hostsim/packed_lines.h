// hostsim: lines of text kept in order in one string, each ended by '\n' (which no line holds):
// a million short lines cost their bytes and one more each, not a string apiece.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

namespace hostsim {

class PackedLines {
 public:
  // Reads the lines in order, as views into the text (valid until the next change).
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;

    const_iterator() = default;
    std::string_view operator*() const { return text_.substr(0, text_.find('\n')); }
    const_iterator& operator++() {
      text_.remove_prefix(text_.find('\n') + 1);
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator was = *this;
      ++*this;
      return was;
    }
    bool operator==(const const_iterator& o) const { return text_.data() == o.text_.data(); }

   private:
    friend class PackedLines;
    explicit const_iterator(std::string_view rest) : text_(rest) {}
    std::string_view text_;  // this line and those after it
  };

  // Adds a line; a line break in it becomes a blank, so that it stays one line.
  void Add(std::string_view line) {
    const std::size_t at = text_.size();
    text_.append(line);
    std::replace_if(
        text_.begin() + static_cast<std::ptrdiff_t>(at), text_.end(),
        [](char c) { return c == '\n' || c == '\r'; }, ' ');
    text_ += '\n';
  }
  // Adds every line of another list.
  void Add(const PackedLines& lines) { text_ += lines.text_; }

  const_iterator begin() const { return const_iterator(text_); }
  const_iterator end() const {
    return const_iterator(std::string_view(text_).substr(text_.size()));
  }
  bool empty() const { return text_.empty(); }
  std::size_t size() const {
    return static_cast<std::size_t>(std::count(text_.begin(), text_.end(), '\n'));
  }
  void clear() { text_.clear(); }
  // The lines as one text, each followed by '\n'.
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace hostsim
