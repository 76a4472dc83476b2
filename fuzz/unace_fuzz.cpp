// The ACE library's whole walk (headers, members, solid history, stored and
// compressed data, encryption) over arbitrary bytes taken as an archive. The
// header CRCs are put right first, block by block, so that the fuzzer gets
// past them into the members. Any result is acceptable except a crash, a
// hang, or more bytes for a member than its header declares.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ace/ace_headers.h"
#include "platform/ace/unace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  for (size_t pos = 0; pos + 4 <= bytes.size();) {
    const size_t len = ace::Le16(&bytes[pos + 2]);
    if (len < 3 || pos + 4 + len > bytes.size()) break;
    const uint16_t crc = ace::HeaderCrc(&bytes[pos + 4], len);
    bytes[pos] = static_cast<uint8_t>(crc);
    bytes[pos + 1] = static_cast<uint8_t>(crc >> 8);
    uint64_t body = 0;
    ace::BlockBodyLength(&bytes[pos], 4 + len, body);
    if (body > bytes.size()) break;
    pos += 4 + len + static_cast<size_t>(body);
  }
  static const std::string path = "/tmp/unace_fuzz." + std::to_string(static_cast<long>(getpid())) + ".ace";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);

  ace::TUnAce lib;
  ace::TInitDll init;
  init.request = [](ace::TRequest& r) {
    if (r.code != ace::kRequestPassword || r.password == "pw") return ace::kAnswerNo;
    r.password = "pw";
    return ace::kAnswerOk;
  };
  init.state = [](ace::TState& s) {
    if (s.code == ace::kStateProgress && s.done > s.entry->origSize) std::abort();
    return ace::kAnswerOk;
  };
  lib.ACEInitDll(init);
  ace::TFileSet files;
  files.fileList = "*\r";
  lib.ACETest(path, files, std::string());
  return 0;
}
