/* The worklet's block render: the library's interleaved float frames split into the two planes
   an AudioWorklet output holds, in the module's own memory, so that the processor copies two
   rows per block and does no per-sample work in JavaScript. Past the end of a pass the rest of
   the block is silence. Compiled into the WebAssembly module only. */
#include <string.h>

#include "brackenfold/tracker.h"

/* Renders count frames into left and right through scratch (2 * count floats);
   returns the frames the song gave, the rest of both planes zero. */
size_t bft_render_planar(bft_module* module, float* left, float* right, float* scratch, size_t count) {
  size_t made = bft_render_float(module, scratch, count);
  for (size_t i = 0; i < made; ++i) {
    left[i] = scratch[2 * i];
    right[i] = scratch[2 * i + 1];
  }
  memset(left + made, 0, (count - made) * sizeof *left);
  memset(right + made, 0, (count - made) * sizeof *right);
  return made;
}
