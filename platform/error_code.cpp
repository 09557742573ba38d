#include "platform/error_code.h"

#include <cerrno>
#include <string>

namespace vexlo {

ErrorCode FromErrno(int errno_value) noexcept {
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

ErrorCode LastErrorCode() noexcept { return FromErrno(errno); }

}  // namespace vexlo

namespace vexlo::platform {

std::string SystemMessage(int32_t code) {
  switch (code) {
    case err::kSuccess:
      return "The operation completed successfully.";
    case err::kInvalidFunction:
      return "Incorrect function.";
    case err::kFileNotFound:
      return "The system cannot find the file specified.";
    case err::kPathNotFound:
      return "The system cannot find the path specified.";
    case err::kTooManyOpenFiles:
      return "The system cannot open the file.";
    case err::kAccessDenied:
      return "Access is denied.";
    case err::kNotEnoughMemory:
      return "Not enough memory resources are available to process this command.";
    case err::kWriteProtect:
      return "The media is write protected.";
    case err::kNotReady:
      return "The device is not ready.";
    case err::kWriteFault:
      return "The system cannot write to the specified device.";
    case err::kReadFault:
      return "The system cannot read from the specified device.";
    case err::kSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case err::kHandleEof:
      return "Reached the end of the file.";
    case err::kNotSupported:
      return "The request is not supported.";
    case err::kInvalidParameter:
      return "The parameter is incorrect.";
    case err::kDiskFull:
      return "There is not enough space on the disk.";
    case err::kInsufficientBuffer:
      return "The data area passed to a system call is too small.";
    case err::kDirNotEmpty:
      return "The directory is not empty.";
    case err::kAlreadyExists:
      return "Cannot create a file when that file already exists.";
    case err::kFilenameTooLong:
      return "The filename or extension is too long.";
    case err::kMediaChanged:
      return "The medium has changed since it was scanned.";
    case err::kIoDevice:
      return "The request could not be performed because of an I/O device error.";
    case err::kUnrecognizedMedia:
      return "The media is not recognized. It may not be formatted.";
    case kCancelCode:
      return "The operation was cancelled by the user.";
    default:
      return "Error " + std::to_string(code) + ".";
  }
}

}  // namespace vexlo::platform
