#pragma once

// The program from its command line to its exit code; the platform's entry point calls it.
int programMain(int argc, char** argv);
