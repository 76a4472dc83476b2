#include "engine/other/zidZooLzw.h"

#include "engine/other/zidLzw.h"

namespace zid {

int ZooLzwDecode(const TDecodeJob& job) { return LzwDecode(job, kZooLzw); }

}  // namespace zid
