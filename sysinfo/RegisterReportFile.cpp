#include "sysinfo/RegisterReportFile.h"

#include "base/Library.h"

#include <windows.h>

namespace {

const int WER_REG_FILE_TYPE_OTHER = 2;
const DWORD WER_FILE_ANONYMOUS_DATA_FLAG = 2;

typedef HRESULT(WINAPI* WerRegisterFileFn)(PCWSTR, int, DWORD);

} // namespace

int RegisterReportFile(const wchar_t* path) {
    // Windows Error Reporting exists from Vista on; looked up once for the life of the process.
    static Library kernel(L"kernel32.dll");
    static WerRegisterFileFn registerFile = kernel.Get<WerRegisterFileFn>("WerRegisterFile");
    if (!registerFile || !path || !*path)
        return 0;
    return SUCCEEDED(registerFile(path, WER_REG_FILE_TYPE_OTHER, WER_FILE_ANONYMOUS_DATA_FLAG)) ? 1 : 0;
}
