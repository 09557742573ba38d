#include "engine/copy_trace.h"

#include <openssl/evp.h>

#include <array>
#include <optional>
#include <utility>

namespace vexlo {
namespace {

thread_local CopyTrace* current_copy_trace = nullptr;

std::string Hex(std::span<const unsigned char> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const unsigned char byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0xF]);
  }
  return text;
}

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

}  // namespace

// One running digest per algorithm. A context that OpenSSL could not set up
// leaves its hash empty rather than wrong.
class CopyTrace::Digests {
 public:
  void Begin() {
    sha256_ok_ = Start(sha256_, EVP_sha256());
    md5_ok_ = Start(md5_, EVP_md5());
  }
  void Add(std::span<const uint8_t> bytes) {
    if (sha256_ok_) sha256_ok_ = EVP_DigestUpdate(sha256_.get(), bytes.data(), bytes.size()) == 1;
    if (md5_ok_) md5_ok_ = EVP_DigestUpdate(md5_.get(), bytes.data(), bytes.size()) == 1;
  }
  void End(TracedFile* file) {
    file->sha256 = sha256_ok_ ? Finish(sha256_) : std::string();
    file->md5 = md5_ok_ ? Finish(md5_) : std::string();
  }

 private:
  static bool Start(Context& context, const EVP_MD* algorithm) {
    if (context == nullptr) context.reset(EVP_MD_CTX_new());
    return context != nullptr && EVP_DigestInit_ex(context.get(), algorithm, nullptr) == 1;
  }
  static std::string Finish(Context& context) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return {};
    return Hex(std::span<const unsigned char>(digest.data(), length));
  }

  Context sha256_;
  Context md5_;
  bool sha256_ok_ = false;
  bool md5_ok_ = false;
};

CopyTrace::CopyTrace() : digests_(std::make_unique<Digests>()), outer_(current_copy_trace) {
  current_copy_trace = this;
}

CopyTrace::~CopyTrace() { current_copy_trace = outer_; }

CopyTrace* CopyTrace::Current() { return current_copy_trace; }

std::vector<TracedFile> CopyTrace::TakeFiles() { return std::exchange(files_, {}); }

void CopyTrace::BeginFile(const std::filesystem::path& destination) {
  current_ = TracedFile();
  current_.destination = destination;
  in_file_ = true;
  digests_->Begin();
}

void CopyTrace::AddBytes(std::span<const uint8_t> bytes, uint64_t file_offset) {
  if (!in_file_ || bytes.empty()) return;
  digests_->Add(bytes);
  current_.bytes_written = file_offset + bytes.size();
  const std::optional<uint64_t> medium_offset = reads_.Locate(bytes);
  if (!medium_offset) return;
  std::vector<ByteRun>& runs = current_.byte_runs;
  if (!runs.empty() && runs.back().file_offset + runs.back().length_bytes == file_offset &&
      runs.back().img_offset + runs.back().length_bytes == *medium_offset) {
    runs.back().length_bytes += bytes.size();
  } else {
    runs.push_back({file_offset, *medium_offset, bytes.size()});
  }
}

void CopyTrace::EndFile(ErrorCode result) {
  if (!in_file_) return;
  in_file_ = false;
  current_.result = result;
  digests_->End(&current_);
  files_.push_back(std::move(current_));
  current_ = {};
}

}  // namespace vexlo
