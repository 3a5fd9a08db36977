#include "cfb/Error.h"

#include "platform/Env.h"

namespace cfb {

std::uint32_t Error::resultCode() const {
    switch (kind_) {
        case ErrorKind::NotCompoundFile:
            return 0x80030050;  // STG_E_FILEALREADYEXISTS
        case ErrorKind::Corrupt:
            return 0x80030109;  // STG_E_DOCFILECORRUPT
        case ErrorKind::FileNotFound:
            return 0x80030002;  // STG_E_FILENOTFOUND
        case ErrorKind::AccessDenied:
            return 0x80030005;  // STG_E_ACCESSDENIED
        case ErrorKind::ShareViolation:
            return 0x80030020;  // STG_E_SHAREVIOLATION
        case ErrorKind::LockViolation:
            return 0x80030021;  // STG_E_LOCKVIOLATION
        case ErrorKind::ReadFault:
            return 0x8003001E;  // STG_E_READFAULT
        case ErrorKind::WriteFault:
            return 0x8003001D;  // STG_E_WRITEFAULT
        case ErrorKind::MediumFull:
            return 0x80030070;  // STG_E_MEDIUMFULL
        case ErrorKind::InvalidName:
            return 0x800300FC;  // STG_E_INVALIDNAME
        case ErrorKind::AlreadyExists:
            return 0x80030050;  // STG_E_FILEALREADYEXISTS
        case ErrorKind::TooLarge:
            return 0x80030111;  // STG_E_DOCFILETOOLARGE
        case ErrorKind::InvalidState:
            return 0x80030001;  // STG_E_INVALIDFUNCTION
        case ErrorKind::OutOfMemory:
            return 0x80030008;  // STG_E_INSUFFICIENTMEMORY
    }
    return 0x80030001;
}

Error Error::fromErrorNumber(int errorNumber, ErrorKind fallback, const std::string& what) {
    Env& env = Env::Default();
    ErrorKind kind = fallback;
    switch (env.errorKind(errorNumber)) {
        case Env::ErrorKind::NotFound:
        case Env::ErrorKind::NameTooLong:
            kind = ErrorKind::FileNotFound;
            break;
        case Env::ErrorKind::AccessDenied:
            kind = ErrorKind::AccessDenied;
            break;
        case Env::ErrorKind::NoSpace:
            kind = ErrorKind::MediumFull;
            break;
        case Env::ErrorKind::OutOfMemory:
            kind = ErrorKind::OutOfMemory;
            break;
        default:
            break;
    }
    return Error(kind, what + ": " + env.errorText(errorNumber));
}

}  // namespace cfb
