#pragma once

#include "Base/Clock.h"
#include "CommandLine.h"
#include "Platform/WindowBackend.h"

// The intro's spine: server, window, GL state, timer, content, the frame loop, the exit code.
int runIntro(const IntroOptions& options, WindowBackend& backend = platformWindowBackend(),
             Clock& clock = systemClock());

void initGL(int width, int height);
