/* Renders a module to a 16-bit stereo WAV with the brackenfold xmplay library:
     embed IN.xm OUT.wav [RATE]
   Built against an installed copy:
     cc embed.c $(pkg-config --cflags --libs brackenfold-tracker) -o embed */
#include <brackenfold/tracker.h>
#include <stdio.h>
#include <stdlib.h>

static void put(FILE* f, uint32_t value, int bytes) { /* little-endian */
  for (int i = 0; i < bytes; ++i) fputc((int)(value >> (8 * i) & 0xFF), f);
}

static unsigned char* read_file(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  unsigned char* data = NULL;
  *size = 0;
  if (!f) return NULL;
  for (size_t got = 1; got > 0; *size += got) {
    unsigned char* grown = realloc(data, *size + 65536);
    if (!grown) break;
    data = grown;
    got = fread(data + *size, 1, 65536, f);
  }
  fclose(f);
  return data;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: embed IN OUT.wav [RATE]\n");
    return 2;
  }
  const int rate = argc > 3 ? atoi(argv[3]) : 44100;
  size_t size;
  unsigned char* data = read_file(argv[1], &size);
  char why[128] = "cannot read the file";
  bft_module* song = data ? bft_load(data, size, rate, NULL, why, sizeof why) : NULL;
  free(data); /* the module keeps what it needs */
  FILE* out = song ? fopen(argv[2], "wb") : NULL;
  if (!out) {
    fprintf(stderr, "embed: %s\n", song ? "cannot write the WAV" : why);
    bft_free(song);
    return 2;
  }
  /* One pass's length is known before rendering, so the sizes go first. */
  const uint32_t bytes = (uint32_t)bft_pass_frames(song) * 4;
  fputs("RIFF", out), put(out, 36 + bytes, 4), fputs("WAVEfmt ", out), put(out, 16, 4);
  put(out, 1, 2), put(out, 2, 2), put(out, (uint32_t)rate, 4), put(out, (uint32_t)rate * 4, 4);
  put(out, 4, 2), put(out, 16, 2), fputs("data", out), put(out, bytes, 4);
  int16_t frames[2 * 4096];
  size_t n;
  while ((n = bft_render(song, frames, 4096)) > 0)
    for (size_t i = 0; i < 2 * n; ++i) put(out, (uint16_t)frames[i], 2);
  bft_free(song);
  return fclose(out) == 0 ? 0 : 2;
}
