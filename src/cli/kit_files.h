// The files of a kit directory besides the HDL: the Makefiles and the
// stand-in core, as text.
#pragma once

#include <string>

namespace r3k::cli {

enum class Simulator { icarus, verilator };

// What the Makefiles tell the board of the image.
struct KitImage {
  int routines = 0;
  bool handles_exceptions = false;  // the exceptions image: its vectors lead to its handler
};

// A Makefile whose default target builds and runs the image on `simulator`.
std::string simulator_makefile(Simulator simulator, const KitImage& image, bool lockstep);
// The directory's Makefile: `make` runs each of the simulators.
std::string top_makefile(bool icarus, bool verilator);
// An r3k_core that drives nothing, so the kit builds before a core is in.
std::string stand_in_core();

}  // namespace r3k::cli
