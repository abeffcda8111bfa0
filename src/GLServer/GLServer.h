#pragma once

#include <memory>

#include "Base/LogFile.h"
#include "GLServer/GLWindow.h"
#include "GLServer/GraphicsServer.h"

class GLServer : public GraphicsServer {
 public:
  GLServer(const char* logPath, const char* title, int iconId, WindowBackend& backend = platformWindowBackend());
  ~GLServer() override;

  int getWidth() override;
  int getHeight() override;
  void setDisplayMode(int width, int height, int colourBits) override;
  void init() override;
  bool createWindow(int dialogId) override;
  bool update() override;
  int createTexture(const unsigned char* pixels, int width, int height, int bitsPerPixel, int noParameters) override;
  unsigned char* getKeys() override;

  // Where createWindow takes its settings from instead of the platform's dialog (the command
  // line's choice, a test's script).
  void setOptionsDialog(OptionsDialog* dialog) { optionsDialog = dialog; }
  // Accept a software renderer's pixel format (for machines without a GL driver of their own).
  void setAcceptSoftware(bool accept) { acceptSoftware = accept; }

  std::unique_ptr<LogFile> log;
  std::unique_ptr<GLWindow> window;
  const char* title;
  int iconId = 0;
  unsigned char fullscreen = 0;
  int width = 640;
  int height = 480;

  WindowBackend& backend;
  ManagedOptionsDialog platformDialog{backend};
  OptionsDialog* optionsDialog = nullptr;
  bool acceptSoftware = false;
  // Set when a creation was refused because only a software renderer offered the format.
  bool softwareRefused = false;
};

// Bound on dialog-and-create rounds, so a dialog that cannot be shown and a creation that keeps
// failing do not alternate for ever.
constexpr int kMaxCreateAttempts = 16;
