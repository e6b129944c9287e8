// The whole machine started for a benchmark in a private program directory whose roms/ holds
// the built-in images as the user's own, so that start-up finds a complete set and reports
// nothing. The directory goes away with the object.
#pragma once
#include <filesystem>
#include <string>

class BenchMachine {
 public:
  explicit BenchMachine(const char* tag);
  ~BenchMachine();
  BenchMachine(const BenchMachine&) = delete;
  BenchMachine& operator=(const BenchMachine&) = delete;

  bool ready() const { return ready_; }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::string previous_dir_;
  bool ready_ = false;
};
