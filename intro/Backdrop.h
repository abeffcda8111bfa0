#pragma once

// The flat background of every frame, 5 units in front of the camera with the depth test off:
// a sliding textured panel, two drifting layers cross-fading into each other, and five pairs of
// black bars shading the layers' upper and lower edges.
struct Backdrop {
  // Draws the backdrop as the state stands, then advances the state by frameDelta.
  void drawBackdrop(float frameDelta);
  void draw() const;
  void advance(float frameDelta);

  int panelTexture = 0;
  int firstLayerTexture = 0;
  int secondLayerTexture = 0;

  float panelX = -1.8f;
  float panelY = 1.5f;
  int panelDir = 1;
  float layerTime = 0;
  float crossfade = 0;
  int crossfadeUp = 0;
};
