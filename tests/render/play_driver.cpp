// Opens a scenario in the window with the example classes and the built modules:
//   render_play_driver SCENARIO [WIDTH HEIGHT]
// The window test drives it with real X key events.
#include <cstdlib>
#include <iostream>

#include "hostsim/play/play.h"
#include "support/world_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::cerr << "usage: render_play_driver SCENARIO [WIDTH HEIGHT]\n";
    return 2;
  }
  try {
    hostsim::World world(testsupport::ExamplePaths());
    world.LoadScenario(argv[1]);
    hostsim::render::PlayOptions opts;
    opts.scenario = argv[1];
    opts.title = "hostsim play";
    if (argc == 4) {
      opts.width = std::atoi(argv[2]);
      opts.height = std::atoi(argv[3]);
    }
    return hostsim::render::Play(world, opts);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
