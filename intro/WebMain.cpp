// The web page's entry: the same program as on Linux, started by the page (its Start button or
// ?autostart) rather than when the module loads. main returns as soon as the frame loop is
// handed to the page; the page then reads the music's progress from here for its status line.

#include <emscripten/emscripten.h>

#include "IntroContent.h"
#include "ProgramMain.h"
#include "SoundLib/xmplay/output/WaveOutput.h"

int main(int argc, char** argv) { return programMain(argc, argv); }

// Blocks of music rendered since play, the first ring's 100 included.
extern "C" EMSCRIPTEN_KEEPALIVE double brackenfold_blocks_rendered() {
  return static_cast<double>(xmPlayer().blocksRendered);
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned brackenfold_audio_underruns() { return audioUnderruns(); }
