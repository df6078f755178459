// Head-up display: the drawing area and the host's default displays.
#pragma once

#include "api.h"

// The HUD area of one frame. Width and height come first.
struct HUDPAINTSPEC {
  int W;           // width in pixels
  int H;           // height in pixels
  int CX;          // x of the HUD centre in pixels
  int CY;          // y of the HUD centre in pixels
  double Scale;    // pixels per degree of view angle
  int Markersize;  // size of the host's HUD markers in pixels
};

// Sets whether the host draws its default navigation display on the HUD (0 = off).
ZAPI_FUNC void zapiSetDefNavDisplay(int mode);

// Sets whether the host draws its default attitude-thruster display on the HUD (0 = off).
ZAPI_FUNC void zapiSetDefRCSDisplay(int mode);
