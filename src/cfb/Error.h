#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cfb {

// What went wrong, coarse enough for callers to act on; the message says exactly where.
enum class ErrorKind {
    NotCompoundFile,  // the file exists but does not start like a compound file
    Corrupt,          // a structure of the file contradicts the format or another structure
    FileNotFound,
    AccessDenied,
    ShareViolation,  // another process holds the file in a way that excludes this open
    LockViolation,   // the file could not be locked exclusively
    ReadFault,
    WriteFault,
    MediumFull,
    InvalidName,
    AlreadyExists,
    TooLarge,  // the file would grow beyond what its version allows
    InvalidState,
    OutOfMemory,
};

// The one exception type of the compound file code.
class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    ErrorKind kind() const { return kind_; }

    // The structured-storage result code that stands for the kind (STG_E_...).
    std::uint32_t resultCode() const;

    // An error for a failed file operation: the kind follows the error number, the message is
    // `what`, ": " and the system's description of the number.
    static Error fromErrorNumber(int errorNumber, ErrorKind fallback, const std::string& what);

private:
    ErrorKind kind_;
};

}  // namespace cfb
