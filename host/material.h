// Mesh material record.
#pragma once

#include "types.h"

// A material of a mesh. The four colours come first, in this order; a module that
// changes a material's look writes these members.
struct MATERIAL {
  COLOUR4 diffuse;   // first colour: lit surface colour
  COLOUR4 ambient;   // second colour: colour under ambient light
  COLOUR4 specular;  // third colour: highlight colour
  COLOUR4 emissive;  // fourth colour: light the surface gives off itself (glow)
  float power;       // specular exponent
};
