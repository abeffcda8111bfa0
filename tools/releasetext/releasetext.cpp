// releasetext TEMPLATE VERSION OUT_DIR: writes OUT_DIR/brackenfold.nfo (at most 80 columns) and
// OUT_DIR/file_id.diz (at most 10 lines of 45 columns) in code page 437 from the template, with
// the version and the credits of the program's own scroller text filled in.

#include <cstdio>
#include <string>
#include <vector>

#include "ReleaseText.h"
#include "ScrollText.h"

namespace {
bool readFile(const char* path, std::string& out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return true;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: releasetext TEMPLATE VERSION OUT_DIR\n", stderr);
    return 2;
  }
  const char* templatePath = argv[1];
  const std::string outDir = argv[3];
  auto fail = [&](const std::string& what) {
    std::fprintf(stderr, "releasetext: %s: %s\n", templatePath, what.c_str());
    return 1;
  };

  std::string text;
  if (!readFile(templatePath, text)) return fail("cannot read it");
  release_text::Template parts;
  std::string error;
  if (!release_text::splitTemplate(text, parts, error)) return fail(error);

  std::unique_ptr<char[]> block = scrollTextBlock();
  std::vector<std::string> lines;
  for (const auto& line : splitScrollText(block.get(), kScrollTextBytes)) lines.emplace_back(line.get());
  release_text::Credits credits;
  if (!release_text::creditsFromScroller(lines, credits, error)) return fail(error);

  const std::vector<std::pair<std::string, std::string>> fields = {
      {"VERSION", argv[2]},        {"GROUP", credits.group},       {"RELEASE", credits.release},
      {"CODE", credits.code},      {"GFX", credits.graphics},      {"MUSIC", credits.music},
      {"GREETINGS", credits.greetings}};
  struct Output {
    const char* name;
    const std::string* source;
    size_t columns, lines;
  };
  for (const Output& o : {Output{"brackenfold.nfo", &parts.nfo, 80, 0}, Output{"file_id.diz", &parts.diz, 45, 10}}) {
    std::string expanded, bytes;
    if (!release_text::expandFields(*o.source, fields, expanded, error) ||
        !release_text::toCodePage437(expanded, o.columns, o.lines, bytes, error))
      return fail(std::string(o.name) + ": " + error);
    if (!writeFile(outDir + "/" + o.name, bytes)) return fail("cannot write " + outDir + "/" + o.name);
  }
  return 0;
}
