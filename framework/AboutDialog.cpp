#include "framework/AboutDialog.h"

#include "base/WString.h"
#include "framework/StringTable.h"
#include "framework/VersionInfo.h"
#include "resources/resource.h"

int AboutDialog::OnInitDialog() {
    SetIcons(IDI_VELTRIX);
    VersionInfo version;
    SetText(version.VersionTitle(L"Veltrix", instance, nullptr));
    SetItemText(IDC_ABOUT_PRODUCT, L"Veltrix");

    // The dialog exists once; its texts come in the user's language from the string table.
    StringTable strings(instance);
    WString fileVersion, line;
    VersionInfo::VersionNumber(instance, &fileVersion);
    line.Format(L"%s %s", strings.Load(IDS_VERSION), fileVersion.Buffer());
    SetItemText(IDC_ABOUT_VERSION, line);
    SetItemText(IDC_ABOUT_AUTO_UPDATE, strings.Load(IDS_AUTO_UPDATE));
    SetItemText(IDC_ABOUT_OK, strings.Load(IDS_OK));
    return 1;
}

int AboutDialog::OnCommand(int id, WPARAM wParam, LPARAM lParam) {
    if (id == IDC_ABOUT_OK) {
        EndDialogWith(0);
        return 1;
    }
    return DialogBase::OnCommand(id, wParam, lParam);
}
