#include "framework/OpenAddress.h"

#include "base/ShellRequest.h"

int OpenAddress(const wchar_t* address) {
    if (!address || !address[0])
        return 0;
    // From a click in a window: the thread's message loop goes on, and the shell's own messages show.
    ShellRequest request;
    request.verb = L"open";
    request.file = address;
    request.show = SW_SHOWNORMAL;
    return request.Send();
}
