#pragma once
// Installs an update the user agreed to: downloads its files (the installer to the desktop, everything
// else beside its target under a "_new" name), checks them (DownloadCheck), unpacks archives, and puts
// the files in place through the journalled swap (FileSwap), recording every step before it is taken.

#include "base/WString.h"
#include "framework/HttpClient.h"
#include "update/DownloadCheck.h"
#include "update/SwapJournal.h"
#include "update/UpdateAnswer.h"

#include <windows.h>

#include <vector>

class UpdateInstall {
public:
    enum Result {
        FAILED = 0,
        COMPLETE = 1,
        // Everything is in place but the running program's own file, which a copy of this version puts in
        // place once this process has ended (SwapRecovery).
        OWN_FILE_WAITING = 2,
    };

    // `programFolder` with a trailing backslash, `installerFolder` without (empty: the user's desktop);
    // `closing` turns 1 when the program closes, which ends the downloads.
    UpdateInstall(HttpClient& http, const volatile LONG& closing, const WString& programFolder,
                  const WString& installerFolder, int keyConfigured, DWORD networkDeadline)
        : http(&http), closing(&closing), programFolder(programFolder), installerFolder(installerFolder),
          check(programFolder, keyConfigured), networkDeadline(networkDeadline) {}

    Result Run(const UpdateAnswer& answer);
    // The hook the check's fetch and the downloads go through (see HttpCallback): no cookies either way.
    static int RequestHook(int code, void* data, void* context);
    // The installer saved on the desktop, under its own name; empty for none.
    const WString& InstallerPath() const { return installerPath; }

private:
    int PlanDownloads(const UpdateAnswer& answer, std::vector<WString>& downloads, SwapJournal& journal);
    int DownloadAll(const UpdateAnswer& answer, std::vector<WString>& downloads);
    int NameInstaller(const UpdateAnswer& answer, std::vector<WString>& downloads);
    int Stage(const UpdateAnswer& answer, std::vector<WString>& downloads, SwapJournal& journal);
    DWORD DownloadDeadline(const UpdateFile& file) const;

    HttpClient* http;
    const volatile LONG* closing;
    const WString& programFolder;
    const WString& installerFolder;
    DownloadCheck check;
    DWORD networkDeadline;
    WString installerPath;
};
