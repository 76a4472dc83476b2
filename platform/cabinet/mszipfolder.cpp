#include "platform/cabinet/mszipfolder.h"

#include <algorithm>

#include "platform/cabinet/cabformat.h"
#include "platform/cabinet/msio.h"

namespace plat::cab {

namespace {


}  // namespace

TMsZipFolder::TMsZipFolder(TMsSystem& io, std::vector<TFolderPart> parts) : io_(io), parts_(std::move(parts)) {
  packed_.resize(static_cast<size_t>(kMaxBlockPacked));
}

TMsZipFolder::~TMsZipFolder() {
  try {
    CloseCabinet();
  } catch (...) {
  }
}

void TMsZipFolder::CloseCabinet() {
  if (hf_ == kNoFile) return;
  const FileHandle hf = hf_;
  hf_ = kNoFile;
  io_.Close()(hf);
}

void TMsZipFolder::Restart() {
  CloseCabinet();
  decoder_.Reset();
  part_ = 0;
  block_ = 0;
  pos_ = 0;
  cur_ = nullptr;
  curLen_ = used_ = 0;
  started_ = true;
}

bool TMsZipFolder::ReadFull(void* buf, int64_t n) {
  int64_t done = 0;
  while (done < n) {
    const int64_t got = io_.Read()(hf_, static_cast<uint8_t*>(buf) + done, n - done);
    if (got <= 0 || got > n - done) return false;
    done += got;
  }
  return true;
}

// The next CFDATA record of the current part, its data appended behind the
// packed bytes already held (packedLen_).
TMsZipFolder::Next TMsZipFolder::ReadRecord(uint16_t& cbData, uint16_t& cbUncomp) {
  while (part_ < parts_.size() && block_ >= parts_[part_].blocks) {
    CloseCabinet();
    ++part_;
    block_ = 0;
  }
  if (part_ >= parts_.size()) return Next::End;
  const TFolderPart& part = parts_[part_];
  if (hf_ == kNoFile) {
    hf_ = io_.Open()(part.path, kOpenReadOnly | kOpenBinary, 0);
    if (hf_ == kNoFile) return Next::NotFound;
    if (io_.Seek()(hf_, part.dataStart, kSeekSet) != part.dataStart) return Next::Truncated;
  }
  uint8_t head[kDataFixedSize + 255];
  if (!ReadFull(head, kDataFixedSize + part.reserve)) return Next::Truncated;
  ++block_;
  const uint32_t csum = Get32(head);
  cbData = Get16(head + 4);
  cbUncomp = Get16(head + 6);
  if (cbData > static_cast<size_t>(kMaxBlockPacked) - packedLen_) return Next::BadData;
  uint8_t* data = packed_.data() + packedLen_;
  if (!ReadFull(data, cbData)) return Next::Truncated;
  if (csum != 0 && BlockChecksum(data, cbData, cbUncomp) != csum) return Next::BadChecksum;
  packedLen_ += cbData;
  return Next::Ok;
}

TMsZipFolder::Next TMsZipFolder::ReadBlock() {
  packedLen_ = 0;
  uint16_t cbData = 0, cbUncomp = 0;
  Next r = ReadRecord(cbData, cbUncomp);
  if (r != Next::Ok) return r;
  // A block cut at the end of a cabinet goes on in the first record of the next one.
  if (cbUncomp == 0) {
    if (block_ != parts_[part_].blocks || part_ + 1 >= parts_.size()) return Next::BadData;
    r = ReadRecord(cbData, cbUncomp);
    if (r != Next::Ok) return r == Next::End ? Next::BadData : r;
  }
  cur_ = decoder_.Decode(packed_.data(), packedLen_, cbUncomp);
  if (cur_ == nullptr) return Next::BadData;
  curLen_ = cbUncomp;
  used_ = 0;
  return Next::Ok;
}

bool TMsZipFolder::Copy(int64_t offset, int64_t length, FileHandle hf, FDIERROR& error, int& detail) {
  error = FDIERROR_NONE;
  detail = erfDetailNone;
  if (length <= 0) return true;
  if (!started_ || offset < pos_) Restart();
  auto fail = [&](FDIERROR e, int d) {
    error = e;
    detail = d;
    started_ = false;
    CloseCabinet();
    return false;
  };
  try {
    int64_t left = length;
    while (left > 0) {
      if (used_ == curLen_) {
        switch (ReadBlock()) {
          case Next::Ok: break;
          case Next::End:  // the folder ends before the file does
          case Next::BadData: return fail(FDIERROR_CORRUPT_CABINET, erfDetailBadData);
          case Next::Truncated: return fail(FDIERROR_CORRUPT_CABINET, erfDetailTruncated);
          case Next::BadChecksum: return fail(FDIERROR_CORRUPT_CABINET, erfDetailBadChecksum);
          case Next::NotFound: return fail(FDIERROR_CABINET_NOT_FOUND, erfDetailNone);
        }
      }
      const size_t avail = curLen_ - used_;
      if (pos_ < offset) {
        const size_t skip = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(avail), offset - pos_));
        used_ += skip;
        pos_ += static_cast<int64_t>(skip);
        continue;
      }
      const auto n = static_cast<int64_t>(std::min<int64_t>(static_cast<int64_t>(avail), left));
      if (io_.Write()(hf, cur_ + used_, n) != n) return fail(FDIERROR_TARGET_FILE, erfDetailNone);
      used_ += static_cast<size_t>(n);
      pos_ += n;
      left -= n;
    }
  } catch (...) {
    started_ = false;
    CloseCabinet();
    throw;
  }
  return true;
}

}  // namespace plat::cab
