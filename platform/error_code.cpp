#include "platform/error_code.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace vexlo {
namespace {

// The code of an errno value; 1117 for one without an entry.
int32_t CodeOfErrno(int errno_value) noexcept {
  switch (errno_value) {
    case 0:
      return err::kSuccess;
    case ENOENT:
      return err::kFileNotFound;
    case ENOTDIR:
      return err::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return err::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
      return err::kAccessDenied;
    case ENOMEM:
      return err::kNotEnoughMemory;
    case EROFS:
      return err::kWriteProtect;
    case ENOMEDIUM:
      return err::kNotReady;
    case EIO:
      return err::kReadFault;
    case EBUSY:
    case ETXTBSY:
      return err::kSharingViolation;
    case ENOTSUP:
      return err::kNotSupported;
    case EINVAL:
    case EBADF:
    case ERANGE:
      return err::kInvalidParameter;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return err::kDiskFull;
    case EEXIST:
      return err::kAlreadyExists;
    case ENOTEMPTY:
      return err::kDirNotEmpty;
    case ENAMETOOLONG:
      return err::kFilenameTooLong;
    default:
      return err::kIoDevice;
  }
}

}  // namespace

ErrorCode FromErrno(int errno_value) noexcept {
  return ErrorCode(CodeOfErrno(errno_value), errno_value);
}

ErrorCode LastErrorCode() noexcept { return FromErrno(errno); }

}  // namespace vexlo

namespace vexlo::platform {
namespace {

// The errno a code stands for when it came without one: the most common
// cause of the code.
int ErrnoOfCode(int32_t code) {
  switch (code) {
    case err::kFileNotFound:
      return ENOENT;
    case err::kPathNotFound:
      return ENOTDIR;
    case err::kTooManyOpenFiles:
      return EMFILE;
    case err::kAccessDenied:
      return EACCES;
    case err::kNotEnoughMemory:
      return ENOMEM;
    case err::kWriteProtect:
      return EROFS;
    case err::kNotReady:
      return ENOMEDIUM;
    case err::kReadFault:
      return EIO;
    case err::kSharingViolation:
      return EBUSY;
    case err::kNotSupported:
      return ENOTSUP;
    case err::kInvalidParameter:
      return EINVAL;
    case err::kDiskFull:
      return ENOSPC;
    case err::kDirNotEmpty:
      return ENOTEMPTY;
    case err::kAlreadyExists:
      return EEXIST;
    case err::kFilenameTooLong:
      return ENAMETOOLONG;
    default:
      return 0;
  }
}

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
  switch (code) {
    case err::kSuccess:
      return "Success";
    case err::kInvalidFunction:
      return "Incorrect function";
    case err::kWriteFault:
      return "The data could not be written";
    case err::kHandleEof:
      return "Reached the end of the file";
    case err::kInsufficientBuffer:
      return "The buffer is too small";
    case err::kMediaChanged:
      return "The medium has changed since it was scanned";
    case err::kIoDevice:
      return "Input/output error";
    case err::kUnrecognizedMedia:
      return "The medium holds no file system this program knows";
    case kCancelCode:
      return "Cancelled by the user";
    default:
      return "Error " + std::to_string(code);
  }
}

}  // namespace vexlo::platform
