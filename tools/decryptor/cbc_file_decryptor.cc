#include "decryptor/cbc_file_decryptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <openssl/evp.h>

namespace salvora::decryptor {
namespace {

constexpr size_t kBlock = 16;
constexpr uint64_t kSqliteUnit = 512;  // the smallest SQLite page size

// An owning file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] int Close() {
    int rc = fd_ >= 0 ? ::close(fd_) : 0;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// Reads until `size` bytes or the end of the file. Returns the count, or -1 on an error.
ssize_t ReadFull(int fd, uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool WriteFull(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The PKCS#7 padding length of the last plaintext block, or 0 when it is not valid padding.
size_t PaddingOf(const uint8_t* last_block) {
  size_t pad = last_block[kBlock - 1];
  if (pad == 0 || pad > kBlock) return 0;
  for (size_t i = kBlock - pad; i < kBlock; ++i) {
    if (last_block[i] != pad) return 0;
  }
  return pad;
}

}  // namespace

void CbcFileDecryptor::CtxDeleter::operator()(evp_cipher_ctx_st* ctx) const {
  EVP_CIPHER_CTX_free(ctx);
}

CbcFileDecryptor::CbcFileDecryptor(size_t buffer_size)
    : ctx_(EVP_CIPHER_CTX_new()),
      in_(std::max(kBlock, buffer_size / kBlock * kBlock)),
      out_(kBlock + in_.size()) {}

CbcFileDecryptor::~CbcFileDecryptor() = default;

CbcFileDecryptor::Result CbcFileDecryptor::DecryptFile(const std::filesystem::path& input,
                                                       const std::filesystem::path& output,
                                                       const Bytes& key, Padding padding) {
  Result result;
  if (!ctx_ || key.size() != 32) return {Status::kCipherError, 0};
  Fd in(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return {Status::kCannotOpenInput, 0};
  ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  Fd out(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (out.get() < 0) return {Status::kCannotOpenOutput, 0};

  auto fail = [&](Status status) {
    (void)out.Close();
    ::unlink(output.c_str());
    return Result{status, 0};
  };

  static const uint8_t kZeroIv[kBlock] = {};
  if (EVP_DecryptInit_ex(ctx_.get(), EVP_aes_256_cbc(), nullptr, key.data(), kZeroIv) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx_.get(), 0) != 1) {
    return fail(Status::kCipherError);
  }

  // out_[0..16) holds the last decrypted block of the previous chunk: it may be padding, so
  // it is written only once more data follows or the padding has been looked at.
  bool holding = false;
  uint64_t total = 0;
  uint64_t written = 0;
  while (true) {
    ssize_t got = ReadFull(in.get(), in_.data(), in_.size());
    if (got < 0) return fail(Status::kReadError);
    if (got == 0) break;
    total += static_cast<uint64_t>(got);
    if (static_cast<size_t>(got) % kBlock != 0) return fail(Status::kNotBlockAligned);
    int n = 0;
    if (EVP_DecryptUpdate(ctx_.get(), out_.data() + kBlock, &n, in_.data(),
                          static_cast<int>(got)) != 1 ||
        n != got) {
      return fail(Status::kCipherError);
    }
    const uint8_t* from = holding ? out_.data() : out_.data() + kBlock;
    size_t count = static_cast<size_t>(n) + (holding ? kBlock : 0) - kBlock;
    if (!WriteFull(out.get(), from, count)) return fail(Status::kWriteError);
    written += count;
    std::memcpy(out_.data(), out_.data() + static_cast<size_t>(n), kBlock);
    holding = true;
    if (static_cast<size_t>(got) < in_.size()) break;  // short read: the end of the file
  }

  if (holding) {
    size_t pad = PaddingOf(out_.data());
    if (padding == Padding::kRequired && pad == 0) return fail(Status::kBadPadding);
    // An unpadded SQLite file ends on a 512-byte unit; padding that would break that unit
    // is plaintext, not padding.
    if (padding == Padding::kOptional && pad != 0 && total % kSqliteUnit == 0 &&
        (total - pad) % kSqliteUnit != 0) {
      pad = 0;
    }
    if (!WriteFull(out.get(), out_.data(), kBlock - pad)) return fail(Status::kWriteError);
    written += kBlock - pad;
  }
  if (out.Close() != 0) return fail(Status::kWriteError);
  result.plainSize = written;
  return result;
}

CbcFileDecryptor::Result CbcFileDecryptor::CopyFile(const std::filesystem::path& input,
                                                    const std::filesystem::path& output) {
  Fd in(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return {Status::kCannotOpenInput, 0};
  Fd out(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (out.get() < 0) return {Status::kCannotOpenOutput, 0};
  auto fail = [&](Status status) {
    (void)out.Close();
    ::unlink(output.c_str());
    return Result{status, 0};
  };
  uint64_t written = 0;
  while (true) {
    ssize_t got = ReadFull(in.get(), in_.data(), in_.size());
    if (got < 0) return fail(Status::kReadError);
    if (got == 0) break;
    if (!WriteFull(out.get(), in_.data(), static_cast<size_t>(got))) {
      return fail(Status::kWriteError);
    }
    written += static_cast<uint64_t>(got);
  }
  if (out.Close() != 0) return fail(Status::kWriteError);
  return {Status::kOk, written};
}

const char* CbcFileDecryptor::StatusText(Status status) {
  switch (status) {
    case Status::kOk:
      return "decrypted";
    case Status::kCannotOpenInput:
      return "the encrypted file is missing or cannot be opened";
    case Status::kReadError:
      return "the encrypted file cannot be read";
    case Status::kNotBlockAligned:
      return "the encrypted file is truncated (not whole blocks)";
    case Status::kBadPadding:
      return "bad padding (wrong key or damaged file)";
    case Status::kCannotOpenOutput:
      return "the output file cannot be created";
    case Status::kWriteError:
      return "the output file cannot be written";
    case Status::kCipherError:
      return "the cipher failed";
  }
  return "unknown failure";
}

}  // namespace salvora::decryptor
