// The whole host interface in one include.
#pragma once

#include "animation.h"
#include "api.h"
#include "beacon.h"
#include "config.h"
#include "hud.h"
#include "input.h"
#include "library.h"
#include "light.h"
#include "material.h"
#include "mesh.h"
#include "module_entry.h"
#include "scenario.h"
#include "simulation.h"
#include "sketchpad.h"
#include "types.h"
#include "vessel.h"
