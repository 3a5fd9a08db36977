#include "platform/WindowsSecurity.h"

#include <aclapi.h>

#include <vector>

#include "platform/WindowsSupport.h"

namespace winsecurity {

namespace {

// Frees what the security functions allocated for the caller.
struct LocalMemory {
    PSECURITY_DESCRIPTOR pointer = nullptr;
    ~LocalMemory() { ::LocalFree(pointer); }
};

// One piece of the caller's token (TokenUser, TokenOwner), or an empty buffer.
std::vector<unsigned char> TokenPiece(TOKEN_INFORMATION_CLASS piece) {
    winsupport::Handle token;
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return {};
    }
    token = winsupport::Handle(opened);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), piece, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), piece, buffer.data(), size, &size)) {
        return {};
    }
    return buffer;
}

PSID CallerUser(std::vector<unsigned char>& buffer) {
    buffer = TokenPiece(TokenUser);
    return buffer.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

PSID CallerOwner(std::vector<unsigned char>& buffer) {
    buffer = TokenPiece(TokenOwner);
    return buffer.empty() ? nullptr : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
}

bool Same(PSID a, PSID b) {
    return a != nullptr && b != nullptr && ::EqualSid(a, b);
}

}  // namespace

bool OwnedByCallerOr(HANDLE file, HANDLE other) {
    PSID owner = nullptr;
    LocalMemory ownerMemory;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &ownerMemory.pointer) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<unsigned char> user;
    std::vector<unsigned char> defaultOwner;
    if (Same(owner, CallerUser(user)) || Same(owner, CallerOwner(defaultOwner))) {
        return true;
    }
    PSID otherOwner = nullptr;
    LocalMemory otherMemory;
    return ::GetSecurityInfo(other, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &otherOwner,
                             nullptr, nullptr, nullptr, &otherMemory.pointer) == ERROR_SUCCESS &&
           Same(owner, otherOwner);
}

int CopyAccessControl(HANDLE from, HANDLE to) {
    PACL acl = nullptr;
    LocalMemory memory;
    DWORD error = ::GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &acl, nullptr, &memory.pointer);
    if (error != ERROR_SUCCESS) {
        return static_cast<int>(error);
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(memory.pointer, &control, &revision);
    const SECURITY_INFORMATION protection = (control & SE_DACL_PROTECTED) != 0
                                                ? PROTECTED_DACL_SECURITY_INFORMATION
                                                : UNPROTECTED_DACL_SECURITY_INFORMATION;
    error = ::SetSecurityInfo(to, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | protection, nullptr,
                              nullptr, acl, nullptr);
    return static_cast<int>(error);
}

int MakePrivate(HANDLE file) {
    std::vector<unsigned char> user;
    const PSID caller = CallerUser(user);
    if (caller == nullptr) {
        return ERROR_NO_SUCH_USER;
    }
    const DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(caller);
    std::vector<unsigned char> buffer(size);
    auto* acl = reinterpret_cast<PACL>(buffer.data());
    if (!::InitializeAcl(acl, size, ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, caller)) {
        return winsupport::LastError();
    }
    return static_cast<int>(::SetSecurityInfo(
        file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        nullptr, nullptr, acl, nullptr));
}

}  // namespace winsecurity
