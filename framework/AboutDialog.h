#pragma once
// The About box: product name, version and the maker's address, and the switch for the automatic
// update check, saved however the box is closed.

#include "framework/DialogBase.h"
#include "framework/DialogColors.h"
#include "framework/DialogScaler.h"
#include "framework/HotkeySetting.h"
#include "framework/HyperlinkControl.h"
#include "framework/LabelControl.h"
#include "framework/SettingsStore.h"
#include "framework/UpdateSwitch.h"

class AboutDialog : public DialogBase {
public:
    // The maker's web page, and how the link shows it.
    static const wchar_t* const MakerAddress;
    static const wchar_t* const MakerCaption;

    // Any may be null: the box then neither reads nor saves the setting, starts no check, or shows no
    // keyboard shortcut.
    AboutDialog(SettingsStore* settings, UpdateSwitch* updates, HotkeySetting* hotkey = nullptr);
    ~AboutDialog() override = default;

    const LabelControl& ProductLabel() const { return product; }
    const HyperlinkControl& Link() const { return link; }

protected:
    int OnInitDialog() override;
    int CanEnd(INT_PTR result) override;
    int OnCommand(int id, WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowHotkeyState(int available);
    // The app mode's colours for the dialog and the texts painted here.
    void ShowColors();

    SettingsStore* settings;
    UpdateSwitch* updates;
    HotkeySetting* hotkey;
    LabelControl product;
    LabelControl versionLine;
    HyperlinkControl link;
    DialogColors colors;
    DialogScaler scaler;
};
