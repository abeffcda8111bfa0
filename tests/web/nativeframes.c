/* The native library's frames for the browser check (scripts/playercheck.py): the float mix of
   bft_render_float, interleaved little-endian 32-bit floats on standard output, for the first
   SECONDS of one pass of a module at RATE frames a second, by the format's own rules, or of the
   SECONDS from frame FROM on (the frames before it rendered and dropped, not sought: the check
   compares a seek in the worklet with a plain render). The check compares them with what the
   WebAssembly build gives in an OfflineAudioContext. */
#include <stdio.h>
#include <stdlib.h>

#include "brackenfold/tracker.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    fprintf(stderr, "usage: nativeframes MODULE RATE SECONDS [FROM]\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (!in) {
    perror(argv[1]);
    return 2;
  }
  static unsigned char image[64 << 20];
  size_t size = fread(image, 1, sizeof image, in);
  fclose(in);
  char why[128];
  int rate = atoi(argv[2]);
  bft_module* song = bft_load(image, size, rate, NULL, why, sizeof why);
  if (!song) {
    fprintf(stderr, "nativeframes: %s: %s\n", argv[1], why);
    return 1;
  }
  size_t left = (size_t)(atof(argv[3]) * rate);
  float frames[2 * 1024];
  for (long long skip = argc == 5 ? atoll(argv[4]) : 0; skip > 0;) {
    size_t made = bft_render_float(song, frames, skip < 1024 ? (size_t)skip : 1024);
    if (made == 0) break;
    skip -= (long long)made;
  }
  while (left > 0) {
    size_t made = bft_render_float(song, frames, left < 1024 ? left : 1024);
    if (made == 0) break;
    fwrite(frames, sizeof(float), 2 * made, stdout);
    left -= made;
  }
  bft_free(song);
  return 0;
}
