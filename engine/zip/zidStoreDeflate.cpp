#include "engine/zip/zidStoreDeflate.h"

#include "engine/base/zidFilterStreams.h"
#include "engine/zip/zidAes.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidDeflate.h"
#include "engine/zip/zidDeflatePieces.h"
#include "platform/files.h"
#include "platform/hooks.h"

namespace zid {

namespace {

// Below this size a file is deflated into memory first and stored when that is smaller.
constexpr int64_t kSmallFile = 257;

}  // namespace

TStoreDeflateResult WriteStoredOrDeflated(TStream32& out, const TStoreDeflateJob& job) {
  TStoreDeflateResult res;
  TStream32& src = *job.source;
  const int64_t size = job.size;
  auto cancelled = [&job] { return job.cancel != nullptr && *job.cancel; };
  auto fail = [&res](TStoreDeflateStatus s) {
    res.status = s;
    return res;
  };
  bool store = job.store;
  uint32_t crc = 0;
  TCryptKeys keys{};
  const bool aes = job.encrypt && job.aesStrength > 0;
  const bool zipCrypto = job.encrypt && !aes;
  TAesCipher cipher;
  if (aes) {
    // A salt must never repeat under one password: it comes from the system.
    uint8_t head[kAesMaxSalt + kAesVerifierSize];
    const int saltLen = AesSaltBytes(job.aesStrength);
    plat::SecureRandomBytes(head, static_cast<size_t>(saltLen));
    cipher.Init(job.password, job.aesStrength, head, head + saltLen);
    out.WriteBuffer(head, saltLen + kAesVerifierSize);
  }
  if (zipCrypto) {
    CodecControl pre;
    pre.Cancel = job.cancel;
    const uint32_t raw = CalcStreamCrc32(src, pre, job.cancel, nullptr, 0);
    if (cancelled()) return fail(TStoreDeflateStatus::Cancelled);
    crc = raw ^ 0xFFFFFFFFu;
    src.Seek(0, plat::soFromBeginning);
    const TEncryptionHeader eh = MakeEncryptionHeader(keys, job.password, crc, job.salt ? *job.salt : RandomCryptSalt());
    out.WriteBuffer(eh.data(), kEncryptionHeaderSize);
  }
  CodecControl ctl;
  ctl.Keys = zipCrypto ? &keys : nullptr;
  ctl.Cipher = aes ? &cipher : nullptr;
  ctl.Cancel = job.cancel;
  if (!store && size < kSmallFile) {
    // Small files: deflate into memory first; the keys stay untouched until
    // the bytes are known, so the encryption header already written still fits.
    TMemoryStream32 mem;
    CodecControl plain;
    uint32_t memCrc = 0;
    if (!CompressStream(src, mem, plain, job.type, nullptr, memCrc)) return fail(TStoreDeflateStatus::Cancelled);
    if (mem.Size() > size) {
      store = true;
      src.Seek(0, plat::soFromBeginning);
    } else {
      if (!zipCrypto) crc = memCrc;
      std::string bytes(static_cast<const char*>(mem.Memory()), static_cast<size_t>(mem.Size()));
      if (zipCrypto) keys.Encrypt(bytes.data(), static_cast<int64_t>(bytes.size()));
      if (aes) cipher.Encrypt(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int64_t>(bytes.size()));
      out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
      if (job.progress) job.progress(size);
    }
  } else if (!store && size >= kDeflatePiecesFrom) {
    if (!DeflatePieces(src, size, out, ctl, job.type, job.workers, job.progress, crc))
      return fail(TStoreDeflateStatus::Cancelled);
  } else if (!store) {
    if (!CompressStream(src, out, ctl, job.type, job.progress, crc)) return fail(TStoreDeflateStatus::Cancelled);
  }
  if (store) {
    TStoreStream ss(out, ctl, 32);
    ss.ProgressProc = job.progress;
    const int64_t copied = ss.CopyAll(src);
    if (cancelled()) return fail(TStoreDeflateStatus::Cancelled);
    if (copied != size) {
      res.read = copied;
      return fail(TStoreDeflateStatus::ReadError);
    }
    if (!zipCrypto) crc = size > 0 ? (ss.Crc() ^ 0xFFFFFFFFu) : 0;
  }
  if (cancelled()) return fail(TStoreDeflateStatus::Cancelled);
  // The deflater reads to the end of the file: a file that shrank or grew
  // since its size was taken would give an entry that lies about its size.
  res.read = src.Seek(0, plat::soFromCurrent);
  if (res.read != size) return fail(TStoreDeflateStatus::ReadError);
  if (aes) {
    uint8_t mac[kAesMacSize];
    cipher.Mac(mac);
    out.WriteBuffer(mac, kAesMacSize);
  }
  res.stored = store;
  res.crc = size == 0 ? 0 : crc;
  return res;
}

TStoreDeflateResult WriteFileData(TCompBase& writer, TStream32& out, TStoreDeflateJob job, int64_t fileSize,
                                  const std::string& sourcePath) {
  job.cancel = writer.CancelFlag();
  job.password = writer.Password;
  int64_t done = 0;
  job.progress = [&writer, &done, fileSize](int64_t n) {
    done += n;
    writer.BytesRemaining -= n;
    writer.ReportProgress(fileSize, done);
  };
  const TStoreDeflateResult r = WriteStoredOrDeflated(out, job);
  if (r.status == TStoreDeflateStatus::ReadError) writer.SourceChanged(sourcePath, r.read, job.size);
  return r;
}

}  // namespace zid
