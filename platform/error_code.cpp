#include "platform/error_code.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace vexlo {
namespace {

struct ErrnoMeaning {
  int errno_value;
  int32_t code;
};

// One table serves both directions so that they cannot drift apart. Where
// several errno values share a code, the first stands for the code when the
// code came without an errno: it is the most common cause.
constexpr ErrnoMeaning kErrnoMeanings[] = {
    {0, err::kSuccess},
    {ENOENT, err::kFileNotFound},
    {ENOTDIR, err::kPathNotFound},
    {EMFILE, err::kTooManyOpenFiles},
    {ENFILE, err::kTooManyOpenFiles},
    {EACCES, err::kAccessDenied},
    {EPERM, err::kAccessDenied},
    {ENOMEM, err::kNotEnoughMemory},
    {EROFS, err::kWriteProtect},
    {ENOMEDIUM, err::kNotReady},
    {EIO, err::kReadFault},
    {EBUSY, err::kSharingViolation},
    {ETXTBSY, err::kSharingViolation},
    {ENOTSUP, err::kNotSupported},
    {EINVAL, err::kInvalidParameter},
    {EBADF, err::kInvalidParameter},
    {ERANGE, err::kInvalidParameter},
    {ENOSPC, err::kDiskFull},
    {EDQUOT, err::kDiskFull},
    {EFBIG, err::kDiskFull},
    {EEXIST, err::kAlreadyExists},
    {ENOTEMPTY, err::kDirNotEmpty},
    {ENAMETOOLONG, err::kFilenameTooLong},
};

// The code of an errno value; 1117 for one without an entry.
int32_t CodeOfErrno(int errno_value) noexcept {
  for (const ErrnoMeaning& meaning : kErrnoMeanings) {
    if (meaning.errno_value == errno_value) return meaning.code;
  }
  return err::kIoDevice;
}

}  // namespace

ErrorCode FromErrno(int errno_value) noexcept {
  return ErrorCode(CodeOfErrno(errno_value), errno_value);
}

ErrorCode LastErrorCode() noexcept { return FromErrno(errno); }

}  // namespace vexlo

namespace vexlo::platform {
namespace {

// The errno a code stands for when it came without one; 0 for a code that
// no errno causes.
int ErrnoOfCode(int32_t code) {
  for (const ErrnoMeaning& meaning : kErrnoMeanings) {
    if (meaning.code == code) return meaning.errno_value;
  }
  return 0;
}

struct CodeText {
  int32_t code;
  const char* text;
};

// The codes that no errno describes.
constexpr CodeText kCodeTexts[] = {
    {err::kSuccess, "Success"},
    {err::kInvalidFunction, "Incorrect function"},
    {err::kWriteFault, "The data could not be written"},
    {err::kHandleEof, "Reached the end of the file"},
    {err::kInsufficientBuffer, "The buffer is too small"},
    {err::kMediaChanged, "The medium has changed since it was scanned"},
    {err::kIoDevice, "Input/output error"},
    {err::kUnrecognizedMedia, "The medium holds no file system this program knows"},
    {kCancelCode, "Cancelled by the user"},
};

// The system's description of an errno, in English whatever the locale, as
// the rest of the program's texts are; empty for an unknown one.
std::string ErrnoText(int errno_value) {
  const char* text = errno_value > 0 ? strerrordesc_np(errno_value) : nullptr;
  return text != nullptr ? text : "";
}

}  // namespace

std::string SystemMessage(ErrorCode code) {
  if (std::string text = ErrnoText(code.system_errno()); !text.empty()) return text;
  if (std::string text = ErrnoText(ErrnoOfCode(code)); !text.empty()) return text;
  for (const CodeText& known : kCodeTexts) {
    if (known.code == code) return known.text;
  }
  return "Error " + std::to_string(code);
}

}  // namespace vexlo::platform
