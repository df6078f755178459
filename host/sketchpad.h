// 2-D drawing surface handed to a module for HUD drawing.
#pragma once

#include <cstdint>

namespace zapi {

// A drawing surface of the host. Valid only during the callback that received it.
class Sketchpad {
 public:
  virtual ~Sketchpad() = default;

  // Sets the text colour from a packed 0x00BBGGRR value; returns the previous colour.
  virtual std::uint32_t SetTextColor(std::uint32_t col) = 0;
  // Sets the text background colour from a packed value; returns the previous colour.
  virtual std::uint32_t SetBackgroundColor(std::uint32_t col) = 0;
  // Writes `len` 8-bit characters of `str` (no terminator needed) with the top-left corner at
  // pixel (x, y); returns true when the text was drawn.
  virtual bool Text(int x, int y, const char* str, int len) = 0;
  // Draws a line in the current pen from (x0, y0) to (x1, y1); returns true when drawn.
  virtual bool Line(int x0, int y0, int x1, int y1) = 0;
  // Returns the height of a character line of the current font in pixels.
  virtual int GetCharHeight() const = 0;
};

}  // namespace zapi
