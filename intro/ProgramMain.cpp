#include <cstdio>

#include "CommandLine.h"
#include "MorvelleCracktro01.h"
#include "Platform/WindowBackend.h"
#include "ProgramMain.h"

int programMain(int argc, char** argv) {
  IntroOptions options;
  std::string error;
  switch (parseCommandLine(argc, argv, options, error)) {
    case ParseResult::Help:
      std::fputs(usageText().c_str(), stdout);
      return 0;
    case ParseResult::Version:
      std::puts("brackenfold " BRACKENFOLD_VERSION);
      return 0;
    case ParseResult::Error:
      std::fprintf(stderr, "%s\n", error.c_str());
      return 2;
    case ParseResult::Run:
      break;
  }
  // A capture renders offscreen and needs no display.
  std::string why;
  if (options.captureDir.empty() && options.videoPath.empty() && !platformHasDisplay(why)) {
    std::fprintf(stderr,
                 "brackenfold: no display to show the intro on (%s); to render it without one: "
                 "--no-dialog --allow-software --capture DIR (or --video FILE)\n",
                 why.c_str());
    return 1;
  }
  // The capture's folder is made once the window is open (runIntro): a run that ends before
  // leaves none behind.
  if (!options.captureDir.empty()) platformPreferOffscreen();
  // Drawn offscreen with nowhere to show the dialog, nobody can choose other settings after a
  // failed start: the command line's are tried once, instead of the dialog's retries each
  // warning that it cannot be shown.
  if (!options.noDialog && !platformCanShowDialog()) options.noDialog = true;
  return runIntro(options);
}
