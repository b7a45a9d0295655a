#pragma once
// The keyboard shortcut as the user chose it (the setting "Hotkey"), registered for the resident
// instance's window; what the About box shows and changes.

#include "app/GlobalHotkey.h"
#include "framework/HotkeySetting.h"
#include "framework/SettingsStore.h"

class HotkeyPreference : public HotkeySetting {
public:
    // trayWindow null: a once-mode run, which only stores the choice and tells whether it is free.
    void Attach(SettingsStore* store, HWND trayWindow) {
        settings = store;
        window = trayWindow;
    }
    // Registers the stored combination for the tray window; 0 when another program holds it.
    int RegisterStored() { return window ? hotkey.Register(window, Hotkey()) : 0; }
    void Unregister() { hotkey.Unregister(); }
    // Whether a WM_HOTKEY's identifier is the one of the combination in use.
    int IsHotkeyId(WPARAM id) const { return hotkey.IsCurrentId(id); }

    WORD Hotkey() override;
    int HotkeyAvailable() override;
    int ChangeHotkey(WORD combination) override;

private:
    SettingsStore* settings = nullptr;
    HWND window = nullptr;
    GlobalHotkey hotkey;
};
