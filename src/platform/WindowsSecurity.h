#pragma once

// The access control of files, as the Windows platform services need it. Each works on open
// handles: READ_CONTROL to read, WRITE_DAC to change.

#include <windows.h>

namespace winsecurity {

// True when `file` is owned by the caller (its user, or the owner it gives new objects, such as
// the Administrators group) or by the owner of `other`.
bool OwnedByCallerOr(HANDLE file, HANDLE other);

// Gives `to` the access control list of `from`, inherited entries and protection as they are.
// 0 or an error.
int CopyAccessControl(HANDLE from, HANDLE to);

// Gives `file` an access control list that lets the caller's user, and nobody else, at it.
// 0 or an error.
int MakePrivate(HANDLE file);

}  // namespace winsecurity
