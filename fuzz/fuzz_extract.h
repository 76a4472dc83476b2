// The frame of the extraction harnesses: a private scratch folder holding the
// input file and an output folder. After each run the output folder is
// emptied, and anything else that appeared beside the input — a write that
// escaped the target — aborts.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzextract {

class TScratch {
 public:
  TScratch(const char* harness, const char* inputName) : input_(inputName) {
    std::string tmpl = std::string("/tmp/") + harness + "-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
  }
  std::string Input() const { return dir_ + "/" + input_; }
  std::string Out() const { return dir_ + "/out"; }
  // Writes the input file; false when it cannot.
  bool Write(const uint8_t* data, size_t size) const {
    FILE* f = std::fopen(Input().c_str(), "wb");
    if (f == nullptr) return false;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return true;
  }
  // Empties the output folder; aborts when anything else appeared.
  void Check() const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(Out(), ec);
    for (const auto& entry : fs::directory_iterator(dir_, ec))
      if (entry.path().filename() != input_) std::abort();
  }

 private:
  std::string dir_;
  std::string input_;
};

}  // namespace fuzzextract
