#pragma once
// Starts a packaged app the way Windows' own Start menu does: through the Application Activation Manager,
// by the app's AppUserModelID, never by a path into its package's folder (which only the system may run).

class AppActivation {
public:
    // Starts the app and lets it come to the foreground; 1 when Windows reports it started. The calling
    // thread has COM started.
    static int Activate(const wchar_t* id);
};
