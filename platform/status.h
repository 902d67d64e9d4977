// Platform error codes as the registry and file calls report them, and the one rule that turns
// them into an HRESULT.
#pragma once

#include <cstdint>

namespace pivora {

// A platform error code: 0 is success, anything else a Win32 error number.
using Status = std::int32_t;

namespace status {
inline constexpr Status kSuccess = 0;
inline constexpr Status kFileNotFound = 2;
inline constexpr Status kPathNotFound = 3;
inline constexpr Status kAccessDenied = 5;
inline constexpr Status kInvalidHandle = 6;
inline constexpr Status kNotEnoughMemory = 8;
inline constexpr Status kSharingViolation = 32;
inline constexpr Status kLockViolation = 33;
inline constexpr Status kFileExists = 80;
inline constexpr Status kDiskFull = 112;
inline constexpr Status kInvalidName = 123;
inline constexpr Status kDirectoryNotEmpty = 145;
inline constexpr Status kInvalidParameter = 87;
inline constexpr Status kAlreadyExists = 183;
inline constexpr Status kMoreData = 234;
inline constexpr Status kNoMoreItems = 259;
inline constexpr Status kDirectoryName = 267;
inline constexpr Status kKeyDeleted = 1018;
// ReplaceFileW's own failures, each saying where the two files' contents are now.
inline constexpr Status kUnableToRemoveReplaced = 1175;
inline constexpr Status kUnableToMoveReplacement = 1176;
inline constexpr Status kUnableToMoveReplacement2 = 1177;
}  // namespace status

using HResult = std::int32_t;

// A code of 0 or less is used unchanged; a positive one becomes 0x8007xxxx.
constexpr HResult HResultFromStatus(Status code) {
  if (code <= 0) return code;
  return static_cast<HResult>((static_cast<std::uint32_t>(code) & 0xFFFFu) | 0x80070000u);
}

}  // namespace pivora
