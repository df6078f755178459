#include "hostsim/render/font.h"

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "hostsim/platform/files.h"

#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

namespace hostsim::render {

int Font::CodePoint(unsigned char byte) {
  // 0x80..0x9F of Windows-1252; the rest is ISO 8859-1, whose bytes are their code points.
  static constexpr int kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

std::filesystem::path Font::FindFile() {
  std::error_code ec;
  if (const char* env = std::getenv("HOSTSIM_FONT"); env && *env) return env;
  std::vector<std::filesystem::path> candidates;
#ifdef HOSTSIM_RENDER_FONT
  candidates.emplace_back(HOSTSIM_RENDER_FONT);
#endif
#ifdef _WIN32
  // The Windows build and its package carry the font beside the program.
  wchar_t program[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (n > 0 && n < MAX_PATH)
    candidates.push_back(std::filesystem::path(program).parent_path() / "DejaVuSans.ttf");
#endif
  candidates.emplace_back("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  candidates.emplace_back("/usr/share/fonts/TTF/DejaVuSans.ttf");
  candidates.emplace_back("/usr/share/fonts/dejavu/DejaVuSans.ttf");
  for (const auto& c : candidates)
    if (std::filesystem::is_regular_file(c, ec)) return c;
  return {};
}

std::optional<Font> Font::Load(const std::filesystem::path& file, float pixelHeight) {
  if (!(pixelHeight > 1)) return std::nullopt;
  std::string bytes;
  if (!platform::ReadFile(file, platform::kFontLimit, bytes).empty()) return std::nullopt;
  const std::vector<unsigned char> data(bytes.begin(), bytes.end());
  stbtt_fontinfo info;
  if (data.empty() ||
      stbtt_InitFont(&info, data.data(), stbtt_GetFontOffsetForIndex(data.data(), 0)) == 0)
    return std::nullopt;

  Font font;
  font.pixelHeight_ = pixelHeight;
  const float scale = stbtt_ScaleForPixelHeight(&info, pixelHeight);
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
  font.ascent_ = static_cast<float>(ascent) * scale;
  font.lineHeight_ = static_cast<float>(ascent - descent + gap) * scale;

  int codepoints[224];
  for (int i = 0; i < 224; ++i) {
    const int cp = CodePoint(static_cast<unsigned char>(i + 32));
    codepoints[i] = cp != 0 ? cp : '?';
  }
  std::vector<stbtt_packedchar> packed(224);
  // Two-fold horizontal oversampling keeps small text crisp; grow the atlas until all fits.
  for (int size = 256; size <= 4096; size *= 2) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size) *
                                     static_cast<std::size_t>(size));
    stbtt_pack_context pc;
    if (!stbtt_PackBegin(&pc, pixels.data(), size, size, 0, 1, nullptr)) return std::nullopt;
    stbtt_PackSetOversampling(&pc, 2, 2);
    stbtt_pack_range range{};
    range.font_size = pixelHeight;
    range.array_of_unicode_codepoints = codepoints;
    range.num_chars = 224;
    range.chardata_for_range = packed.data();
    const int ok = stbtt_PackFontRanges(&pc, data.data(), 0, &range, 1);
    stbtt_PackEnd(&pc);
    if (!ok) continue;
    font.atlasW_ = font.atlasH_ = size;
    font.atlas_ = std::move(pixels);
    break;
  }
  if (font.atlas_.empty()) return std::nullopt;

  for (int i = 0; i < 224; ++i) {
    const unsigned char byte = static_cast<unsigned char>(i + 32);
    if (CodePoint(byte) == 0) continue;
    float px = 0, py = 0;
    stbtt_aligned_quad q;
    stbtt_GetPackedQuad(packed.data(), font.atlasW_, font.atlasH_, i, &px, &py, &q, 0);
    Glyph& g = font.glyphs_[byte];
    g.present = true;
    g.x0 = q.x0;
    g.y0 = q.y0;
    g.x1 = q.x1;
    g.y1 = q.y1;
    g.s0 = q.s0;
    g.t0 = q.t0;
    g.s1 = q.s1;
    g.t1 = q.t1;
    g.advance = px;
  }
  return font;
}

}  // namespace hostsim::render
