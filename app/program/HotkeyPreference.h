#pragma once
// The keys that open the menu as the user chose them: the keyboard shortcut (the setting "Hotkey"),
// registered for the resident instance's window, and the Windows key alone (the setting "WinKey"), taken
// by its keyboard hook; what the About box shows and changes. A once-mode run's box asks the resident
// instance, which holds both, through a registered message.

#include "app/program/GlobalHotkey.h"
#include "app/program/WinKeyHook.h"
#include "framework/HotkeySetting.h"
#include "framework/SettingsStore.h"

class HotkeyPreference : public HotkeySetting {
public:
    // What a request asks of the resident instance (its lParam); wParam is the combination.
    // WINKEY_CHANGE's wParam is 1 to have the Windows key open the menu, 0 not to.
    enum Request : LPARAM { HOTKEY_ASK = 0, HOTKEY_CHANGE = 1, WINKEY_CHANGE = 2 };

    // trayWindow null: a once-mode run, which holds no hotkey and leaves the change to the resident
    // instance if one runs. A lone Windows key is posted to the tray window as winKeyMessage.
    void Attach(SettingsStore* store, HWND trayWindow, UINT winKeyMessage = 0) {
        settings = store;
        window = trayWindow;
        winKeyPosted = winKeyMessage;
    }
    // Registers the stored combination for the tray window, and hooks the Windows key when the user
    // wants it; 0 when another program holds the combination.
    int RegisterStored();
    void Unregister() {
        hotkey.Unregister();
        winKey.Stop();
    }
    // Whether a WM_HOTKEY's identifier is the one of the combination in use.
    int IsHotkeyId(WPARAM id) const { return hotkey.IsCurrentId(id); }

    // Whether a message is a once-mode run's request; OnRequest answers it 1 or 0.
    static int IsRequest(UINT message);
    LRESULT OnRequest(WPARAM combination, LPARAM request);

    WORD Hotkey() override;
    int HotkeyAvailable() override;
    int ChangeHotkey(WORD combination) override;
    int WinKeyOpens() override;
    int ChangeWinKey(int opens) override;

private:
    // Sends a request to the resident instance; 1 when one runs, with its answer (0 when it gave none).
    static int AskResident(WORD combination, Request request, int* answer);

    SettingsStore* settings = nullptr;
    HWND window = nullptr;
    GlobalHotkey hotkey;
    WinKeyHook winKey;
    UINT winKeyPosted = 0;
};
