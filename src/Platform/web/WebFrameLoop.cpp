// The frame loop of the web backend. A page must not block: the browser calls the frame once
// per animation frame (requestAnimationFrame, so at the display's rate rather than unthrottled),
// presents what it drew when the call returns, and after the last frame the run's end follows.
// The page learns the time each frame took and the exit code.

#include <emscripten/emscripten.h>

#include <memory>

#include "Platform/WindowBackend.h"

namespace {
struct Loop {
  std::function<bool()> frame;
  std::function<int()> end;
};
std::unique_ptr<Loop> running;

// What the page shows and logs: frames run and the milliseconds spent inside them.
EM_JS(void, pageFrameDone, (double workMs), {
  var s = Module.frameStats || (Module.frameStats = {frames : 0, workMs : 0, worstMs : 0});
  s.frames++;
  s.workMs += workMs;
  if (workMs > s.worstMs) s.worstMs = workMs;
});

// Without this mark the page knows that main ended the program before any frame (Cancel, a
// failed start) and reports main's exit code itself.
EM_JS(void, pageFrameLoopStarted, (), { Module.frameLoopStarted = true; });

EM_JS(void, pageIntroEnded, (int exitCode), {
  if (Module.onIntroEnd) Module.onIntroEnd(exitCode);
});

void animationFrame() {
  const double start = emscripten_get_now();
  const bool more = running->frame();
  pageFrameDone(emscripten_get_now() - start);
  if (more) return;
  emscripten_cancel_main_loop();
  const int code = running->end();
  running.reset();
  pageIntroEnded(code);
}
}  // namespace

int platformRunFrameLoop(std::function<bool()> frame, std::function<int()> end) {
  running = std::make_unique<Loop>(Loop{std::move(frame), std::move(end)});
  // 0 frames per second: at the page's animation frames. Not simulating an endless loop lets
  // main return; the runtime stays for the callbacks.
  emscripten_set_main_loop(animationFrame, 0, 0);
  pageFrameLoopStarted();
  return 0;
}
