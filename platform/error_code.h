// Error codes of the whole system.
//
// One numeric code space is used everywhere, also inside stored files: 0 is
// success, the positive numbers are the classic system error numbers the
// recovery engines were designed around (2 file not found, 5 access denied,
// 30 read fault, 87 invalid parameter ...), and -9527 is the cancel code that
// a progress callback returns to stop an operation. Every layer passes the
// cancel code back unchanged. `errno` values are translated in exactly one
// place, FromErrno(), and the errno travels beside the code, so that the user
// reads the system's own words for what went wrong.
#pragma once

#include <cstdint>
#include <string>

namespace vexlo {

// A returned code that must be looked at. Converts to and from int32_t so
// that codes compare with the named constants below and with literals. A code
// translated from errno keeps that errno (lost where the code is passed on as
// a plain number, as the progress callbacks do).
class [[nodiscard]] ErrorCode {
 public:
  constexpr ErrorCode(int32_t value = 0) noexcept : value_(value) {}  // NOLINT: implicit by design
  constexpr ErrorCode(int32_t value, int system_errno) noexcept
      : value_(value), system_errno_(system_errno) {}
  constexpr operator int32_t() const noexcept { return value_; }  // NOLINT
  constexpr bool ok() const noexcept { return value_ == 0; }
  constexpr int32_t value() const noexcept { return value_; }
  // The errno the code was translated from; 0 when the program raised it.
  constexpr int system_errno() const noexcept { return system_errno_; }

 private:
  int32_t value_;
  int system_errno_ = 0;
};

namespace err {
inline constexpr int32_t kSuccess = 0;
inline constexpr int32_t kInvalidFunction = 1;
inline constexpr int32_t kFileNotFound = 2;
inline constexpr int32_t kPathNotFound = 3;
inline constexpr int32_t kTooManyOpenFiles = 4;
inline constexpr int32_t kAccessDenied = 5;
inline constexpr int32_t kNotEnoughMemory = 8;
inline constexpr int32_t kWriteProtect = 19;
inline constexpr int32_t kNotReady = 21;
inline constexpr int32_t kWriteFault = 29;
inline constexpr int32_t kReadFault = 30;
inline constexpr int32_t kSharingViolation = 32;
inline constexpr int32_t kHandleEof = 38;
inline constexpr int32_t kNotSupported = 50;
inline constexpr int32_t kInvalidParameter = 87;
inline constexpr int32_t kDiskFull = 112;
inline constexpr int32_t kInsufficientBuffer = 122;
inline constexpr int32_t kDirNotEmpty = 145;
inline constexpr int32_t kAlreadyExists = 183;
inline constexpr int32_t kFilenameTooLong = 206;
inline constexpr int32_t kMediaChanged = 1110;
inline constexpr int32_t kIoDevice = 1117;
inline constexpr int32_t kUnrecognizedMedia = 1785;
}  // namespace err

// Returned by a progress callback to stop the running operation; travels back
// unchanged through every layer.
inline constexpr int32_t kCancelCode = -9527;

// Translates an errno value into the code space above. An errno without an
// entry becomes 1117 (I/O device error).
ErrorCode FromErrno(int errno_value) noexcept;

// Translates the current errno.
ErrorCode LastErrorCode() noexcept;

}  // namespace vexlo

namespace vexlo::platform {

// The text of a code, as shown in the recovery detail list and by the
// command-line tool: the system's own description of the errno it came from
// ("Operation not permitted"); for a code without one, that of the errno the
// code stands for ("Permission denied" for 5, "No space left on device" for
// 112), and an English sentence for the codes only the program raises.
std::string SystemMessage(ErrorCode code);

}  // namespace vexlo::platform
