#pragma once

#include <string>
#include <utility>
#include <vector>

// The release's texts, brackenfold.nfo and file_id.diz, written from one template
// (resources/release.txt) with the version and the credits filled in; the credits are read from
// the scroller text, so that they stand in one place only.
namespace release_text {

struct Credits {
  std::string group, release;             // "<group> is proud to present: <release>"
  std::string code, graphics, music;      // "code: <code> gfx: <graphics> music:<music>"
  std::string greetings;                  // "We greet: <greetings>"
};

// The credits as the scroller lines say them; false, with error saying what is missing, when a
// line or a field cannot be found.
bool creditsFromScroller(const std::vector<std::string>& lines, Credits& credits, std::string& error);

struct Template {
  std::string nfo, diz;
};

// The template's two texts: the lines after "[nfo]" and those after "[diz]", each up to the next
// section; what stands before the first section is the template's own note.
bool splitTemplate(const std::string& text, Template& out, std::string& error);

// Replaces each @NAME@ by its value; a name without a value is an error.
bool expandFields(const std::string& text, const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string& out, std::string& error);

// UTF-8 to code page 437, lines ended CR LF, trailing spaces dropped. Printable ASCII stays as
// it is and every other character must be one of code page 437's upper half (the block, shade
// and box characters among them); no line may have more than maxColumns characters, and the
// text no more than maxLines lines (0: any number).
bool toCodePage437(const std::string& utf8, size_t maxColumns, size_t maxLines, std::string& out, std::string& error);

}  // namespace release_text
