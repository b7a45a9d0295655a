#include "app/shell/UnelevatedRun.h"

#include "base/Bstr.h"
#include "base/ComPtr.h"
#include "base/KernelHandle.h"

#include <windows.h>

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

int UnelevatedRun::IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    KernelHandle owned(token);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size) && type == TokenElevationTypeFull;
}

int UnelevatedRun::Run(const wchar_t* program, const wchar_t* arguments) {
    // The desktop's folder view, through the shell windows Explorer registers, leads to the automation
    // object of Explorer's own shell, whose ShellExecute starts the program as Explorer runs: unelevated.
    ComPtr<IShellWindows> windows;
    if (FAILED(
            CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.OutVoid())))
        return 0;
    VARIANT location;
    VariantInit(&location);
    VARIANT root;
    VariantInit(&root);
    long window = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Out()) != S_OK ||
        !desktop)
        return 0;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.OutVoid())) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.OutVoid())) ||
        FAILED(browser->QueryActiveShellView(view.Out())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.OutVoid())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.OutVoid())) ||
        FAILED(folderView->get_Application(application.Out())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.OutVoid())))
        return 0;
    Bstr file(program);
    VARIANT parameters;
    VariantInit(&parameters);
    Bstr parameterText(arguments ? arguments : L"");
    parameters.vt = VT_BSTR;
    parameters.bstrVal = parameterText;
    VARIANT folder;
    VariantInit(&folder);
    VARIANT verb;
    VariantInit(&verb);
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return file.Get() && parameterText.Get() && SUCCEEDED(shell->ShellExecute(file, parameters, folder, verb, show));
}
