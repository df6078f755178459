// The HUD help text: thirteen light-green lines listing the lamp's keys and its current range,
// spread and intensity.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "lamp/lumipod.h"

namespace {

constexpr std::uint32_t kHudColour = 0x66FF66;
constexpr double kScalePerPixel = 0.00130208;  // a little below 1/768
constexpr double kWideRatio = 0.7284;          // height/width below this counts as wide

// x truncated toward zero as an int. The HUD's own numbers always fit; the clamp only keeps
// an absurd HUD size or a value that is not a number from an out-of-range conversion.
int TruncToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (x <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(x);
}

// The number of characters snprintf left in a buffer of `size` bytes: its result when the text
// fitted, the cut text's length when it did not, none after an error.
int TextLength(int written, std::size_t size) {
  if (written < 0) return 0;
  const int room = static_cast<int>(size) - 1;
  return written < room ? written : room;
}

// The key lines after the three that show values, with their offsets.
constexpr struct {
  int offset;
  std::string_view text;
} kKeyLines[] = {
    {232, "[V]/[Shift+V] = Easy Attach/Detach"},
    {248, "[Shift]+[Arrows] = Rotate Lamp Alt/Az"},
    {280, "[Shift]/[Alt]+......"},
    {296, "[NumPad1] = Shift Att. +/- X"},
    {312, "[NumPad2] = Shift Att. +/- Y"},
    {328, "[NumPad3] = Shift Att. +/- Z"},
    {344, "[NumPad4] = Rotate Att. +/- X"},
    {360, "[NumPad5] = Rotate Att. +/- Y"},
    {376, "[NumPad6] = Rotate Att. +/- Z"},
};

}  // namespace

bool lumipod::clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp) {
  VESSEL3::clbkDrawHUD(mode, hps, skp);
  zapiSetDefNavDisplay(0);
  zapiSetDefRCSDisplay(0);
  if (hps == nullptr || skp == nullptr) return true;

  // Layout: positions scale with the HUD's height; a wide HUD moves the text right and up.
  const int width = hps->W;
  const int height = hps->H;
  const double scale = height * kScalePerPixel;
  int x0 = 0;
  int y0 = 0;
  if (static_cast<double>(height) / static_cast<double>(width) < kWideRatio) {
    // 10 * ((16 * W) div 1024), in 64 bits so that no width overflows the product.
    x0 = static_cast<int>(10 * ((16 * static_cast<long long>(width)) / 1024));
    y0 = -TruncToInt(88 * scale);
  }
  const int x = x0 + 10;

  // One line: the colour set, then the text drawn. The line's offset times the scale always
  // fits an int (|H| < 2^31 makes |scale| < 2.8e6, and the offsets are at most 376), so it is
  // truncated by a plain conversion.
  auto draw = [&](int offset, const char* text, int length) {
    skp->SetTextColor(kHudColour);
    skp->Text(x, y0 + static_cast<int>(offset * scale), text, length);
  };
  // A line with values, once composed in the buffer (`written` is what snprintf returned).
  char buf[256];
  auto line = [&](int offset, int written) { draw(offset, buf, TextLength(written, sizeof buf)); };
  // A fixed line, drawn as it stands: nothing to format.
  auto fixed = [&](int offset, std::string_view text) {
    draw(offset, text.data(), static_cast<int>(text.size()));
  };

  fixed(168, "[B] = Spotlight On/Off");
  line(184, std::snprintf(buf, sizeof buf, "[N] = Enter Range %0.1fm", range));
  // The degree sign is the single byte 0xB0.
  line(200,
       std::snprintf(buf, sizeof buf, "[M] = Enter Spread Angle %0.1f\xB0", aperture * kDegPerRad));
  line(216, std::snprintf(buf, sizeof buf, "[J]/[K] = -/+ Intensity %d%%",
                          TruncToInt(intensity * 100.0)));
  for (const auto& [offset, text] : kKeyLines) fixed(offset, text);
  return true;
}
