#pragma once

// The engine's facade over one output window; the driver holds the server only through this.
class GraphicsServer {
 public:
  virtual int getWidth() = 0;
  virtual int getHeight() = 0;
  virtual void setDisplayMode(int width, int height, int colourBits) = 0;
  virtual void init() = 0;
  virtual bool createWindow(int dialogId) = 0;
  virtual bool update() = 0;
  virtual int createTexture(const unsigned char* pixels, int width, int height, int bitsPerPixel,
                            int noParameters) = 0;
  virtual unsigned char* getKeys() = 0;
  virtual ~GraphicsServer() = default;
};
