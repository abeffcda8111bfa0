#pragma once

#include <memory>
#include <vector>

#include "Backdrop.h"
#include "GLBitMapFont.h"
#include "GLTextRing.h"
#include "RingStack.h"

class CImageLib;
class GraphicsServer;
class SoundXM;
class WaveDevice;

// What the intro shows and plays: the scroller lines on the text ring, the rings, the backdrop,
// the music. Made by introSetup; only the image list is released at the end.
struct IntroContent {
  std::unique_ptr<GLBitMapFont> font;
  std::vector<std::unique_ptr<char[]>> lines;
  int lineCount = 0;
  int lineIndex = 0;
  std::unique_ptr<RingStack> rings;
  std::unique_ptr<GLTextRing> textRing;
  std::unique_ptr<CImageLib> images;
  int textures[4] = {};  // of images 197, 202, 204, 193
  Backdrop backdrop;
  std::unique_ptr<SoundXM> music;

  IntroContent();
  ~IntroContent();
};

// Where the music goes: the platform's audio device, or none (--mute, capture runs).
void introUseAudioDevice(WaveDevice* device);

// The three operations the driver calls: set up once, one frame each, shut down once.
void introSetup(GraphicsServer& server);
void introFrame(float frameDelta);
void introShutdown();
void drawScene(float frameDelta);

// The text ring's step and the line switch of one frame (introFrame without the drawing).
void advanceScroller(IntroContent& content, float frameDelta);

// Blocks of music the audio device played before they were rendered.
unsigned audioUnderruns();

// The content made by introSetup, for the driver's statistics and for tests.
IntroContent& introContent();

// The intro's resources.
constexpr int kFontImage = 197;
constexpr int kFirstLayerImage = 202;
constexpr int kSecondLayerImage = 204;
constexpr int kPanelImage = 193;
constexpr int kModule = 184;
