#pragma once
// The keyboard shortcut as the user chose it (the setting "Hotkey"), registered for the resident
// instance's window; what the About box shows and changes. A once-mode run's box asks the resident
// instance, which holds the hotkey, through a registered message.

#include "app/program/GlobalHotkey.h"
#include "framework/HotkeySetting.h"
#include "framework/SettingsStore.h"

class HotkeyPreference : public HotkeySetting {
public:
    // What a request asks of the resident instance (its lParam); wParam is the combination.
    enum Request : LPARAM { HOTKEY_ASK = 0, HOTKEY_CHANGE = 1 };

    // trayWindow null: a once-mode run, which holds no hotkey and leaves the change to the resident
    // instance if one runs.
    void Attach(SettingsStore* store, HWND trayWindow) {
        settings = store;
        window = trayWindow;
    }
    // Registers the stored combination for the tray window; 0 when another program holds it.
    int RegisterStored() { return window ? hotkey.Register(window, Hotkey()) : 0; }
    void Unregister() { hotkey.Unregister(); }
    // Whether a WM_HOTKEY's identifier is the one of the combination in use.
    int IsHotkeyId(WPARAM id) const { return hotkey.IsCurrentId(id); }

    // Whether a message is a once-mode run's request; OnRequest answers it 1 or 0.
    static int IsRequest(UINT message);
    LRESULT OnRequest(WPARAM combination, LPARAM request);

    WORD Hotkey() override;
    int HotkeyAvailable() override;
    int ChangeHotkey(WORD combination) override;

private:
    // Sends a request to the resident instance; 1 when one runs, with its answer (0 when it gave none).
    static int AskResident(WORD combination, Request request, int* answer);

    SettingsStore* settings = nullptr;
    HWND window = nullptr;
    GlobalHotkey hotkey;
};
