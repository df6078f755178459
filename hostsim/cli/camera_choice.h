// The camera a user chooses for a picture: `hostsim render --camera` and `play --camera` take
// it as one argument, a session's `render` as the words after the picture's size, and the
// window prints its own camera in the same words. It is the window's orbit camera in a
// user's units:
//
//   at=NAME      looks at the centre of the vessel NAME's meshes
//   at=X,Y,Z     looks at a point of the world, in metres
//   yaw=DEG      from DEG degrees about the vertical, from -360 to 360 (0: from the +z
//                side, 90: from the +x side)
//   pitch=DEG    from DEG degrees above the horizontal, from -88 to 88
//   dist=M       from M metres away, above 0 and at most 100000
//
// Each part is given at most once, in any order, words apart; a part left out is the default
// view's (the one a picture without --camera takes). A word that reads as three numbers is a
// point, never a vessel's name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"
#include "hostsim/world.h"

#if defined(HOSTSIM_HAVE_RENDER)
#include "hostsim/render/render.h"
#endif

namespace hostsim::cli {

struct CameraChoice {
  std::string vessel;                // at=NAME; empty when not given so
  std::optional<VECTOR3> point;      // at=X,Y,Z
  std::optional<double> yaw, pitch;  // degrees
  std::optional<double> distance;    // metres
  bool operator==(const CameraChoice& other) const;
};

// Reads the parts from words (a session line's) or from one blank-separated text (the
// option's); returns an error text naming the part and what is wrong with it, or "" when they
// are good and `choice` holds them (it is left alone otherwise).
std::string ParseCameraWords(const std::vector<std::string_view>& words, CameraChoice& choice);
std::string ParseCameraChoice(std::string_view text, CameraChoice& choice);

// The words ParseCameraChoice reads back as `choice`, the parts given in the order at, yaw,
// pitch, dist; numbers as the shortest decimals that read back the same.
std::string FormatCameraChoice(const CameraChoice& choice);

#if defined(HOSTSIM_HAVE_RENDER)
// The orbit camera chosen, for a picture of the given aspect (width over height): the parts
// not given come from render::DefaultCamera. Throws hostsim::Error when the vessel named is
// not in the world.
render::Camera ChosenCamera(World& world, const CameraChoice& choice, double aspect);

// Every part of an orbit camera, rounded to a ten-thousandth of a degree and of a metre, so
// that the words stay short while the picture stays the same to a fraction of a pixel. The
// yaw is given from -180 (excluded) to 180 degrees.
CameraChoice ChoiceOf(const render::Camera& camera);
#endif

}  // namespace hostsim::cli
