#include "platform/cabinet/mszipenc.h"

#include "platform/cabinet/cabformat.h"

namespace plat::cab {

TMsZipEncoder::TMsZipEncoder(const PFNALLOC& alloc, const PFNFREE& free, int level) : alloc_(alloc), free_(free) {
  zs_.zalloc = &ZAlloc;
  zs_.zfree = &ZFree;
  zs_.opaque = this;
  ready_ = deflateInit2(&zs_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

TMsZipEncoder::~TMsZipEncoder() {
  if (ready_) deflateEnd(&zs_);
}

// zlib is C: a throwing allocator becomes a plain failure.
voidpf TMsZipEncoder::ZAlloc(voidpf opaque, uInt items, uInt size) {
  auto* self = static_cast<TMsZipEncoder*>(opaque);
  try {
    return self->alloc_(static_cast<size_t>(items) * size);
  } catch (...) {
    return nullptr;
  }
}

void TMsZipEncoder::ZFree(voidpf opaque, voidpf address) {
  auto* self = static_cast<TMsZipEncoder*>(opaque);
  try {
    self->free_(address);
  } catch (...) {
  }
}

bool TMsZipEncoder::EncodeBlock(const uint8_t* data, size_t n, const uint8_t* history, size_t historyLen,
                                std::vector<uint8_t>& out) {
  if (!ready_ || n == 0 || n > static_cast<size_t>(kMaxBlockUncompressed)) return false;
  if (deflateReset(&zs_) != Z_OK) return false;
  if (historyLen > 0 && deflateSetDictionary(&zs_, history, static_cast<uInt>(historyLen)) != Z_OK) return false;
  out.resize(2 + deflateBound(&zs_, static_cast<uLong>(n)));
  out[0] = 'C';
  out[1] = 'K';
  zs_.next_in = const_cast<Bytef*>(data);
  zs_.avail_in = static_cast<uInt>(n);
  zs_.next_out = out.data() + 2;
  zs_.avail_out = static_cast<uInt>(out.size() - 2);
  if (deflate(&zs_, Z_FINISH) != Z_STREAM_END) return false;
  out.resize(out.size() - zs_.avail_out);
  return out.size() <= static_cast<size_t>(kMaxBlockPacked);
}

}  // namespace plat::cab
