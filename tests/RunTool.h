#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// Runs a command line as a user would, with stdout and stderr together.
struct ToolRun {
  int exitCode;
  std::string output;
};

inline ToolRun runTool(const std::string& commandLine) {
  FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), output};
}
