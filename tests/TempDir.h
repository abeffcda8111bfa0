#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

// A fresh folder for one test, removed with it.
class TempDir {
 public:
  // A name nobody else holds: create_directory fails on one that exists, so try another.
  // (No mkdtemp: the suites also run as Windows programs.)
  TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
      const auto candidate = std::filesystem::temp_directory_path() / ("brackenfold-" + std::to_string(random() % 1000000000u));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate.string();
        return;
      }
      if (ec) throw std::filesystem::filesystem_error("TempDir", candidate, ec);
    }
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
