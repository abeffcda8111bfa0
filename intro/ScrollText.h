#pragma once

#include <memory>
#include <vector>

// The scroller text: one block of lines, each ended by a line feed and a zero byte, the rest of
// the block zero.
constexpr int kScrollTextBytes = 6000;
constexpr int kMaxScrollLines = 128;

// A fresh copy of the built-in block.
std::unique_ptr<char[]> scrollTextBlock();

// Cuts the block into separate zero-terminated lines, at most kMaxScrollLines (the rest are left
// unread). Overwrites every line feed it takes with a zero byte; bytes behind the last line
// feed form no line.
std::vector<std::unique_ptr<char[]>> splitScrollText(char* block, int size);
