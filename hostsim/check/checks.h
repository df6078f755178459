// The checks of the battery, one function each, grouped by source file.
#pragma once

#include "hostsim/check/context.h"

namespace hostsim::check {

// library_checks.cpp
void LibraryExports(Context& ctx);
void LibraryLoadUnload(Context& ctx);
void LibraryUnloadLeaks(Context& ctx);
void LibraryTwoInstances(Context& ctx);
// setup_checks.cpp
void SetupClass(Context& ctx);
void SetupFinite(Context& ctx);
// state_checks.cpp
void StateFreshRoundTrip(Context& ctx);
void StateWalkRoundTrip(Context& ctx);
void StateUnknownLines(Context& ctx);
void StateSaveBeforeFrame(Context& ctx);
// input_checks.cpp
void InputBufferedKeys(Context& ctx);
void InputDirectKeys(Context& ctx);
void InputBoxes(Context& ctx);
// hud_checks.cpp
void HudSizes(Context& ctx);
// visual_checks.cpp
void VisualRebuild(Context& ctx);
// frame_checks.cpp
void FrameAllocations(Context& ctx);
void FrameBlockingCalls(Context& ctx);
void FrameTime(Context& ctx);
// lifecycle_checks.cpp
void LifecycleMany(Context& ctx);

}  // namespace hostsim::check
