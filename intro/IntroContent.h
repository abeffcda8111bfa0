#pragma once

class GLServer;

// What the intro shows: set up once, one call per frame, shut down once.
void introSetup(GLServer& server);
void introFrame(float frameDelta);
void introShutdown();
void drawScene(float frameDelta);
