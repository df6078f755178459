// A TrueType font baked into a glyph atlas for the HUD and the window's overlays. Text is
// taken as 8-bit characters of Windows-1252 (ISO 8859-1 plus the printable 0x80..0x9F), so
// the byte 0xB0 is the degree sign.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace hostsim::render {

class Font {
 public:
  struct Quad {
    float x0, y0, x1, y1;  // pixels, y down
    float s0, t0, s1, t1;  // atlas coordinates
  };

  // Bakes the font file at `pixelHeight` (the height of a line of text); none when the file
  // cannot be read or is not a font.
  static std::optional<Font> Load(const std::filesystem::path& file, float pixelHeight);

  // The font file to use: $HOSTSIM_FONT, else the one found at build time, else a few usual
  // places; empty when there is none.
  static std::filesystem::path FindFile();

  // Lays out `text` with its top-left corner at (x, y): calls fn(quad) for every visible
  // glyph; returns the advance width in pixels.
  template <typename Fn>
  float Layout(std::string_view text, float x, float y, Fn&& fn) const {
    float pen = x;
    const float baseline = y + ascent_;
    for (char ch : text) {
      const Glyph& g = glyphs_[static_cast<unsigned char>(ch)];
      if (g.present && g.x1 > g.x0)
        fn(Quad{pen + g.x0, baseline + g.y0, pen + g.x1, baseline + g.y1, g.s0, g.t0, g.s1, g.t1});
      pen += g.advance;
    }
    return pen - x;
  }
  float Width(std::string_view text) const {
    return Layout(text, 0, 0, [](const Quad&) {});
  }

  float pixelHeight() const { return pixelHeight_; }
  float lineHeight() const { return lineHeight_; }
  int atlasWidth() const { return atlasW_; }
  int atlasHeight() const { return atlasH_; }
  const std::vector<std::uint8_t>& atlas() const { return atlas_; }  // one coverage byte a texel

  // The Unicode code point a byte of Windows-1252 stands for (0 for the five unused ones).
  static int CodePoint(unsigned char byte);

 private:
  struct Glyph {
    bool present = false;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0, s0 = 0, t0 = 0, s1 = 0, t1 = 0, advance = 0;
  };
  std::array<Glyph, 256> glyphs_{};
  float pixelHeight_ = 0, ascent_ = 0, lineHeight_ = 0;
  int atlasW_ = 0, atlasH_ = 0;
  std::vector<std::uint8_t> atlas_;
};

}  // namespace hostsim::render
