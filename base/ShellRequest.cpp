#include "base/ShellRequest.h"

int ShellRequest::Send() const {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = flags;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show;
    if (item) {
        // SEE_MASK_IDLIST alone would have the shell turn the list back into a path, which an item past the
        // path limit has not.
        info.fMask |= SEE_MASK_INVOKEIDLIST;
        info.lpIDList = const_cast<void*>(static_cast<const void*>(item));
    }
    return ShellExecuteExW(&info) ? 1 : 0;
}
