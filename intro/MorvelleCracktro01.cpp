#include "MorvelleCracktro01.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include "Base/FrameTimer.h"
#include "Base/LogFile.h"
#include "FrameCapture.h"
#include "GLServer/GLServer.h"
#include "IntroContent.h"

namespace {
constexpr int kOptionsDialog = 101;
constexpr int kIcon = 214;
}  // namespace

void initGL(int width, int height) {
  if (height == 0) height = 1;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1f, 500.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glShadeModel(GL_SMOOTH);
  glClearColor(0, 0, 0, 0);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

int runIntro(const IntroOptions& options, WindowBackend& backend, Clock& clock) {
  // Owned here rather than left to the process exit, so leak checkers see a clean end.
  std::unique_ptr<GLServer> gfx(new (std::nothrow) GLServer(nullptr, "Brackenfold", kIcon, backend));
  TAV_ASSERT(gfx);
  FixedOptionsDialog fromCommandLine(options.display);
  gfx->setOptionsDialog(&fromCommandLine);
  gfx->setAcceptSoftware(options.allowSoftware);
  gfx->init();
  if (!gfx->createWindow(kOptionsDialog)) return 1;

  initGL(gfx->getWidth(), gfx->getHeight());
  auto timer = std::make_unique<FrameTimer>(clock);
  timer->start();
  introSetup(*gfx);

  const bool capturing = !options.captureDir.empty();
  std::optional<FrameCapture> capture;
  long frameLimit = options.frames;
  if (capturing) {
    capture.emplace(options.captureDir, gfx->getWidth(), gfx->getHeight());
    const double seconds = options.seconds > 0 ? options.seconds : kDefaultCaptureSeconds;
    const long frames = std::max(1L, std::lround(seconds * options.fps));
    if (frameLimit == 0 || frames < frameLimit) frameLimit = frames;
  }
  const float fixedStep = static_cast<float>(1.0 / options.fps);

  int exitCode = 0;
  long frame = 0;
  while (!gfx->update()) {
    timer->tick();
    introFrame(capturing ? fixedStep : timer->frameDelta);
    if (capture && !capture->write(static_cast<unsigned>(frame))) {
      std::fprintf(stderr, "brackenfold: cannot write %s\n", capture->pathOf(static_cast<unsigned>(frame)).c_str());
      exitCode = 1;
      gfx->window->requestClose();
    }
    ++frame;
    const bool framesDone = frameLimit > 0 && frame >= frameLimit;
    const bool timeDone = !capturing && options.seconds > 0 && timer->time >= options.seconds;
    if (framesDone || timeDone) gfx->window->requestClose();
  }
  introShutdown();
  return exitCode;
}
