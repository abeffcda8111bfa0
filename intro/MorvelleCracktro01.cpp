#include "MorvelleCracktro01.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "Base/Clock.h"
#include "Base/FrameTimer.h"
#include "Base/LogFile.h"
#include "Programs/ProgressLine.h"
#include "FrameCapture.h"
#include "GLServer/GLServer.h"
#include "IntroContent.h"
#include "Platform/Folders.h"
#include "Platform/WaveDevice.h"
#include "Soundtrack.h"
#include "VideoEncoder.h"

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

namespace {
// Taken while the program's statics are made, just before main.
const int64_t processStart = systemClock().counter();

double msSince(int64_t start) {
  Clock& clock = systemClock();
  return static_cast<double>(clock.counter() - start) * 1000 / static_cast<double>(clock.frequency());
}

// What --stats reports at the end.
struct RunStats {
  double firstPresentedMs = -1;
  long framesDrawn = 0;
  double frameMsSum = 0, worstFrameMs = 0;
  void frame(float frameDelta) {
    // The first step spans the whole set-up; it is not a frame time.
    if (framesDrawn++ == 0) return;
    const double ms = frameDelta * 1000.0;
    frameMsSum += ms;
    if (ms > worstFrameMs) worstFrameMs = ms;
  }
  void print() const {
    std::fprintf(stderr, "brackenfold: first frame presented %.1f ms after start\n", firstPresentedMs);
    const long timed = framesDrawn > 1 ? framesDrawn - 1 : 0;
    std::fprintf(stderr, "brackenfold: %ld frames drawn, frame time mean %.2f ms, worst %.2f ms\n", framesDrawn,
                 timed ? frameMsSum / static_cast<double>(timed) : 0.0, worstFrameMs);
    std::fprintf(stderr, "brackenfold: %u audio underruns\n", audioUnderruns());
  }
};

// The frames and the soundtrack of a capture run, written as files and/or muxed into a video.
struct CaptureRun {
  std::optional<FrameCapture> frames;
  std::optional<Soundtrack> soundtrack;
  std::optional<VideoEncoder> video;
  std::optional<ProgressLine> progress;
  std::string workDir;
  bool madeFolder = false;  // the --capture folder did not exist before this run
  int64_t start = 0;        // the clock's count when the first frame was captured
  std::string wavPath() const { return workDir + "/soundtrack.wav"; }
};

// Makes the --capture folder, or clears the frames and soundtrack an earlier capture left in it
// (a shorter capture would leave the old frames beyond its own); nothing else is touched.
bool startCaptureFolder(const std::string& dir, CaptureRun& capture, bool quiet) {
  capture.madeFolder = !isFolder(dir);
  std::string why;
  if (!makeFolders(dir, &why)) {
    std::fprintf(stderr, "brackenfold: --capture: cannot make folder %s: %s\n", dir.c_str(), why.c_str());
    return false;
  }
  const int removed = capture.madeFolder ? 0 : removeEarlierCapture(dir);
  if (removed && !quiet)
    std::fprintf(stderr, "brackenfold: --capture: removed %d file%s of an earlier capture from %s\n", removed,
                 removed == 1 ? "" : "s", dir.c_str());
  return true;
}
}  // namespace

namespace {
// What the frame loop keeps from one frame to the next, and the end of the run.
struct IntroRun {
  IntroRun(const IntroOptions& o, WindowBackend& b) : options(o), backend(b) {}
  bool frame();
  int end();

  const IntroOptions options;
  WindowBackend& backend;
  bool capturing = false;
  // Owned here rather than left to the process exit, so leak checkers see a clean end.
  std::unique_ptr<GLServer> server;
  GraphicsServer* gfx = nullptr;
  std::unique_ptr<FrameTimer> timer;
  CaptureRun capture;
  long frameLimit = 0;
  float fixedStep = 0;
  RunStats stats;
  int exitCode = 0;
  long frameCount = 0;
  bool ending = false;
};

// One pass of the frame loop; false once update has reported the end.
bool IntroRun::frame() {
  if (gfx->update()) return false;
  if (frameCount == 1 && stats.firstPresentedMs < 0) stats.firstPresentedMs = msSince(processStart);
  timer->tick();
  const float step = capturing ? fixedStep : timer->frameDelta;
  introFrame(step);
  stats.frame(timer->frameDelta);
  if (capturing && !ending) {
    const unsigned index = static_cast<unsigned>(frameCount);
    const unsigned char* rgb = capture.frames->readBack();
    // What could not be written and the system's reason, taken before anything else can
    // change errno.
    std::string failed;
    if (!capture.soundtrack->renderFrame(frameCount))
      failed = capture.wavPath() + ": " + std::strerror(errno);
    else if (!options.captureDir.empty() && !capture.frames->writePng(index))
      failed = capture.frames->pathOf(index) + ": " + std::strerror(errno);
    else if (capture.video && !capture.video->write(rgb))
      failed = std::string("the video frames to ffmpeg: ") + std::strerror(errno);
    if (!failed.empty()) {
      capture.progress->finish();
      std::fprintf(stderr, "brackenfold: cannot write %s\n", failed.c_str());
      exitCode = 2;
      ending = true;
      backend.postQuitMessage();
    } else {
      if (frameCount == 0) capture.start = systemClock().counter();
      char done[64];
      std::snprintf(done, sizeof done, "brackenfold: frame %ld of %ld", frameCount + 1, frameLimit);
      capture.progress->update(done, static_cast<double>(frameCount + 1) / static_cast<double>(frameLimit),
                               msSince(capture.start) / 1000);
    }
  }
  ++frameCount;
  const bool framesDone = frameLimit > 0 && frameCount >= frameLimit;
  const bool timeDone = !capturing && options.seconds > 0 && timer->time >= options.seconds;
  // Ends the loop the way closing the window does: at the next update.
  if ((framesDone || timeDone) && !ending) {
    ending = true;
    backend.postQuitMessage();
  }
  return true;
}

int IntroRun::end() {
  introShutdown();

  if (capturing) capture.progress->finish();
  if (capturing && exitCode == 0) {
    if (!capture.soundtrack->finish()) {
      std::fprintf(stderr, "brackenfold: cannot write %s: %s\n", capture.wavPath().c_str(), std::strerror(errno));
      exitCode = 2;
    } else if (capture.video && !capture.video->finish(capture.wavPath())) {
      std::fprintf(stderr, "brackenfold: ffmpeg could not write %s\n", options.videoPath.c_str());
      exitCode = 2;
    }
    if (options.captureDir.empty()) removeFolder(capture.workDir);
  }
  if (options.stats) stats.print();
  return exitCode;
}
}  // namespace

int runIntro(const IntroOptions& options, WindowBackend& backend, Clock& clock) {
  const std::shared_ptr<IntroRun> run(new IntroRun(options, backend));
  const bool capturing = run->capturing = !options.captureDir.empty() || !options.videoPath.empty();
  std::string videoError;
  if (!options.videoPath.empty() && !VideoEncoder::available(videoError)) {
    std::fprintf(stderr, "%s\n", videoError.c_str());
    return 2;
  }

  run->server.reset(new (std::nothrow) GLServer(nullptr, "Brackenfold", kIcon, backend));
  GLServer* server = run->server.get();
  if (!server) assertFailed("gfx", "MorvelleCracktro01", 239);
  FixedOptionsDialog fromCommandLine(options.display);
  if (options.noDialog) server->setOptionsDialog(&fromCommandLine);
  server->setAcceptSoftware(options.allowSoftware);
  GraphicsServer* gfx = run->gfx = server;

  gfx->init();
  if (!gfx->createWindow(kOptionsDialog)) {
    if (server->softwareRefused)
      std::fputs("brackenfold: only a software OpenGL renderer is available here; "
                 "run with --allow-software to accept it\n",
                 stderr);
    return 1;
  }
  server->setOptionsDialog(nullptr);

  initGL(gfx->getWidth(), gfx->getHeight());
  run->timer = std::make_unique<FrameTimer>(clock);
  run->timer->start();
  introUseAudioDevice(options.mute || capturing ? nullptr : &platformWaveDevice());
  introSetup(*gfx);

  CaptureRun& capture = run->capture;
  long frameLimit = options.frames;
  if (capturing) {
    if (!options.captureDir.empty() && !startCaptureFolder(options.captureDir, capture, options.quiet)) return 2;
    capture.progress.emplace(stderr, !options.quiet && ProgressLine::onTerminal(stderr));
    capture.workDir = options.captureDir.empty() ? temporaryFolder() : options.captureDir;
    if (capture.workDir.empty()) {
      std::fputs("brackenfold: cannot make a temporary folder for the video's files\n", stderr);
      return 2;
    }
    capture.frames.emplace(options.captureDir, gfx->getWidth(), gfx->getHeight());
    capture.soundtrack.emplace(kModule, options.fps, capture.wavPath());
    if (!options.videoPath.empty()) {
      capture.video.emplace(options.videoPath, capture.workDir, gfx->getWidth(), gfx->getHeight(), options.fps);
      if (!capture.video->start()) {
        std::fputs("brackenfold: cannot start ffmpeg\n", stderr);
        if (capture.madeFolder || options.captureDir.empty()) removeFolder(capture.workDir);
        return 2;
      }
    }
    const double seconds = options.seconds > 0 ? options.seconds : kDefaultCaptureSeconds;
    const long frames = std::max(1L, std::lround(seconds * options.fps));
    if (frameLimit == 0 || frames < frameLimit) frameLimit = frames;
  }
  run->frameLimit = frameLimit;
  run->fixedStep = static_cast<float>(1.0 / options.fps);

  return platformRunFrameLoop([run] { return run->frame(); }, [run] { return run->end(); });
}
