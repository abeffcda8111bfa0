#include "IntroContent.h"

#include <GL/gl.h>

#include <cstdio>

#include "Base/LogFile.h"
#include "GLServer/GraphicsServer.h"
#include "ImageLib/CImageLib.h"
#include "Platform/WaveDevice.h"
#include "ScrollText.h"
#include "SoundLib/xmplay/output/SoundXM.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/output/WaveOutput.h"

namespace {
IntroContent content;
WaveDevice* audioDevice = &platformWaveDevice();

void startMusic() {
  IntroContent& c = content;
  if (!audioDevice) return;
  c.music = std::make_unique<SoundXM>(intro::kRules, *audioDevice);
  if (!c.music->init(44100, 4, 0)) std::fputs("brackenfold: no audio device; the intro runs without music\n", stderr);
  if (c.music->loadFromResource(kModule, "sound")) c.music->play();
}
}  // namespace

IntroContent::IntroContent() = default;
IntroContent::~IntroContent() = default;

IntroContent& introContent() { return content; }

unsigned audioUnderruns() { return xmPlayer().underruns; }

void introUseAudioDevice(WaveDevice* device) { audioDevice = device; }

void introSetup(GraphicsServer& server) {
  IntroContent& c = content;
  c.font = std::make_unique<GLBitMapFont>(16, 8, 32);
  c.font->loadFromResource(&server, kFontImage, "images");

  // The lines are copies: the block is needed only while it is split.
  c.lines = splitScrollText(scrollTextBlock().get(), kScrollTextBytes);
  c.lineCount = static_cast<int>(c.lines.size());
  c.lineIndex = 0;

  c.rings = std::make_unique<RingStack>();
  c.rings->createRings();

  c.textRing = std::make_unique<GLTextRing>(7.0f, 0.5f, 50, 3.0f);
  c.textRing->setText(c.lineCount > 0 ? c.lines[0].get() : "", c.font->glyphs, 32, c.font->glyphCount());

  c.images = std::make_unique<CImageLib>();
  const int numbers[4] = {kFontImage, kFirstLayerImage, kSecondLayerImage, kPanelImage};
  for (int i = 0; i < 4; ++i)
    c.textures[i] = textureOf(server, c.images->LoadFromResource(static_cast<uint16_t>(numbers[i]), "images"));
  c.textRing->texture = c.textures[0];
  c.backdrop.firstLayerTexture = c.textures[1];
  c.backdrop.secondLayerTexture = c.textures[2];
  c.backdrop.panelTexture = c.textures[3];

  startMusic();
}

void advanceScroller(IntroContent& c, float frameDelta) {
  GLTextRing& ring = *c.textRing;
  ring.animate(frameDelta);
  // The line has faded out: the next one fades in from the following frame on.
  if (!(ring.alpha > 0) && ring.fadeIn == 0 && c.lineCount > 0) {
    if (++c.lineIndex >= c.lineCount) c.lineIndex = 0;
    ring.setText(c.lines[c.lineIndex].get(), c.font->glyphs, 32, c.font->glyphCount());
  }
}

void introFrame(float frameDelta) {
  advanceScroller(content, frameDelta);
  drawScene(frameDelta);
}

void drawScene(float frameDelta) {
  IntroContent& c = content;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  c.backdrop.drawBackdrop(frameDelta);
  glTranslatef(0, 0, -16);
  c.rings->drawRings();
  glPushMatrix();
  glRotatef(90, 1, 0, 0);
  glRotatef(180, 0, 0, 1);
  c.textRing->draw();
  glPopMatrix();
  c.rings->advanceRings(frameDelta);
}

void introShutdown() {
  IntroContent& c = content;
  if (c.music) {
    // Stopping needs a loaded song; without one nothing plays and only the device is closed.
    if (c.music->song) c.music->stop();
    c.music->close();
  }
  c.images.reset();
}
