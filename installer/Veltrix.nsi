; The installer of Veltrix. It installs for all users under Program Files (elevated) or for the current
; user in the user's own program folder, makes a Start Menu shortcut, on request starts Veltrix in the
; notification area at logon, and registers an uninstaller in Programs and Features.
;
;   makensis -DVERSION=1.10 -DPROGRAM=Veltrix.exe [-DPROGRAM64=x64/Veltrix.exe] -DDOCS=folder -DICON=Veltrix.ico
;            -DOUTFILE=setup.exe [-DSIGN=tools/sign-code] Veltrix.nsi
;
; With PROGRAM64 it carries both programs and installs the 64-bit one where the processor runs x64 code
; natively (a 32-bit Start menu there lives behind WOW64's redirections): all users' into the native
; Program Files, with its entry in the registry's native view, where Programs and Features reads the
; entries of 64-bit programs. Everywhere else, ARM64 included (whose emulation runs 32-bit programs on
; every version), it installs the 32-bit program. An all-users installation of the 32-bit program on such
; a machine is replaced: its folder under Program Files (x86) and its entry go, its logon start and the
; settings (the user's own key, which both programs read) stay.
;
; DOCS holds README.txt, LICENSE.txt and THIRD-PARTY-NOTICES.txt. Command line of the result:
;   setup.exe [/S] [/AllUsers | /CurrentUser] [/Logon] [/NoWinKey] [/D=FOLDER]   (/D last, as NSIS wants it)
;   Uninstall.exe [/S] [/RemoveSettings] [_?=FOLDER]   (_?= runs it in place: the caller waits for it)

!ifndef VERSION | PROGRAM | DOCS | ICON | OUTFILE
  !error "define VERSION, PROGRAM, DOCS, ICON and OUTFILE"
!endif

; With SIGN (a command that signs the program it is given in place with Authenticode), the uninstaller is
; signed before it is packed into the installer, so that the one an installation writes carries the
; signature too, and the installer once it is made.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
; A file that cannot be replaced (a copy still running in another session) fails the installation, also
; a silent one, instead of leaving the old file behind an installation reported as done.
AllowSkipFiles off

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrix"
!define SETTINGS_KEY "Software\Koravent\Veltrix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "Veltrix"
OutFile "${OUTFILE}"
BrandingText "Koravent Veltrix ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "Koravent Veltrix"
VIAddVersionKey /LANG=0 "CompanyName" "Koravent"
VIAddVersionKey /LANG=0 "FileDescription" "Veltrix Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Koravent, MIT licence"

; Administrators install for everyone by default, others for themselves; an installation over an earlier
; one keeps its mode and folder, both read from the uninstaller entry.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Veltrix"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_FUNCTION ChooseFolder
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh
!include x64.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; The picture of the last page, made by tools/make-icons from the program's icon.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}\Wizard.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}\Wizard.bmp"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_ABORTWARNING

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
; "Start Veltrix", ticked when it is to run in the notification area (started at logon, or running before).
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartVeltrix)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartVeltrix
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_PAGE_CUSTOMFUNCTION_SHOW TickStartVeltrix
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.HideSpaceRequired
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the user's language where it is one of the program's.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
; NSIS's Greek texts lack the page that asks for whom to install; ours fill the gap.
!define MULTIUSER_TEXT_INSTALLMODE_TITLE "Επιλογή χρηστών"
!define MULTIUSER_TEXT_INSTALLMODE_SUBTITLE "Επιλέξτε για ποιους χρήστες θα εγκατασταθεί το $(^NameDA)."
!define MULTIUSER_INNERTEXT_INSTALLMODE_TOP \
  "Επιλέξτε αν θα εγκαταστήσετε το $(^NameDA) μόνο για εσάς ή για όλους τους χρήστες αυτού του υπολογιστή. $(^ClickNext)"
!define MULTIUSER_INNERTEXT_INSTALLMODE_ALLUSERS "Εγκατάσταση για όλους τους χρήστες αυτού του υπολογιστή"
!define MULTIUSER_INNERTEXT_INSTALLMODE_CURRENTUSER "Εγκατάσταση μόνο για εμένα"
!insertmacro MUI_LANGUAGE "Greek"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Swedish"

LangString LogonSection ${LANG_ENGLISH} "Start at logon in the notification area"
LangString LogonSection ${LANG_GERMAN} "Bei der Anmeldung im Infobereich starten"
LangString LogonSection ${LANG_GREEK} "Εκκίνηση κατά τη σύνδεση στην περιοχή ειδοποιήσεων"
LangString LogonSection ${LANG_PORTUGUESEBR} "Iniciar no logon na área de notificação"
LangString LogonSection ${LANG_SWEDISH} "Starta vid inloggning i meddelandefältet"
LangString WinKeySection ${LANG_ENGLISH} "Open with the Windows key"
LangString WinKeySection ${LANG_GERMAN} "Mit der Windows-Taste öffnen"
LangString WinKeySection ${LANG_GREEK} "Άνοιγμα με το πλήκτρο των Windows"
LangString WinKeySection ${LANG_PORTUGUESEBR} "Abrir com a tecla Windows"
LangString WinKeySection ${LANG_SWEDISH} "Öppna med Windows-tangenten"
LangString SettingsSection ${LANG_ENGLISH} "Also remove my settings"
LangString SettingsSection ${LANG_GERMAN} "Auch meine Einstellungen entfernen"
LangString SettingsSection ${LANG_GREEK} "Κατάργηση και των ρυθμίσεών μου"
LangString SettingsSection ${LANG_PORTUGUESEBR} "Remover também minhas configurações"
LangString SettingsSection ${LANG_SWEDISH} "Ta även bort mina inställningar"
LangString StartVeltrix ${LANG_ENGLISH} "Start Veltrix"
LangString StartVeltrix ${LANG_GERMAN} "Veltrix starten"
LangString StartVeltrix ${LANG_GREEK} "Εκκίνηση του Veltrix"
LangString StartVeltrix ${LANG_PORTUGUESEBR} "Iniciar o Veltrix"
LangString StartVeltrix ${LANG_SWEDISH} "Starta Veltrix"
LangString ShortcutComment ${LANG_ENGLISH} "The classic Start menu"
LangString ShortcutComment ${LANG_GERMAN} "Das klassische Startmenü"
LangString ShortcutComment ${LANG_GREEK} "Το κλασικό μενού Έναρξη"
LangString ShortcutComment ${LANG_PORTUGUESEBR} "O menu Iniciar clássico"
LangString ShortcutComment ${LANG_SWEDISH} "Den klassiska Start-menyn"

; Asks every Veltrix that runs from the folder on the stack to end, so that its file can be replaced or
; removed: first WM_CANCELMODE, which closes an open menu (a once-mode run then ends by itself), then
; WM_CLOSE to its hidden main window, the way its own "Exit" ends it. Other copies (a portable one) and
; other users' instances are left alone; a file still in use is replaced or removed at the next restart.
; 1 once a copy running in the notification area was ended.
Var WasResident

!macro CLOSE_RUNNING PREFIX
Function ${PREFIX}CloseRunning
  Exch $5
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $0 0
  ${Do}
    FindWindow $0 "" "" 0 $0
    ${If} $0 = 0
      ${ExitDo}
    ${EndIf}
    System::Call 'user32::GetClassNameW(p r0, w .r1, i ${NSIS_MAX_STRLEN})'
    StrCpy $1 $1 7
    ${If} $1 != "Kavrin_"
      ${Continue}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r2)'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i r2) p .r3'
    ${If} $3 P= 0
      ${Continue}
    ${EndIf}
    StrCpy $4 ""
    System::Call 'kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r4, *i ${NSIS_MAX_STRLEN})'
    ${If} $4 == "$5\Veltrix.exe"
      ; The copy in the notification area marks its window: it is started again once the files are in place.
      System::Call 'user32::GetPropW(p r0, w "Koravent.Veltrix.Tray") p .r4'
      ${If} $4 P<> 0
        StrCpy $WasResident 1
      ${EndIf}
      System::Call 'user32::PostMessageW(p r0, i ${WM_CANCELMODE}, p 0, p 0)'
      System::Call 'kernel32::WaitForSingleObject(p r3, i 2000) i .r4'
      ${If} $4 <> 0
        System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
        System::Call 'kernel32::WaitForSingleObject(p r3, i 10000) i .r4'
      ${EndIf}
      ; The window is gone with its process: the search starts again from the top.
      ${If} $4 = 0
        StrCpy $0 0
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r3)'
  ${Loop}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  Pop $5
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

; Removes what an installation put into the folder on the stack, and what the program left beside itself
; (an update's leftovers, crash reports), then the folder if nothing else is in it: whatever else the user
; put there stays, and so does the folder.
!macro REMOVE_FILES PREFIX
Function ${PREFIX}RemoveFiles
  Exch $0
  Delete /REBOOTOK "$0\Veltrix.exe"
  Delete "$0\Veltrix_old.exe"
  Delete "$0\Veltrix_new.exe"
  Delete "$0\Update.journal"
  Delete "$0\Update.journal.tmp"
  Delete "$0\Veltrix_Debug.txt"
  Delete "$0\Veltrix_Debug.dmp"
  Delete "$0\README.txt"
  Delete "$0\LICENSE.txt"
  Delete "$0\THIRD-PARTY-NOTICES.txt"
  Delete "$0\Uninstall.exe"
  RMDir /REBOOTOK "$0"
  Pop $0
FunctionEnd
!macroend
!insertmacro REMOVE_FILES ""
!insertmacro REMOVE_FILES "un."

; 1 when this installation is (or was, for the uninstaller) the 64-bit program's.
Var Native64
; The folder of an all-users installation of the 32-bit program that this one replaces, or empty.
Var Replaced32

Section "-Close"
  Push $INSTDIR
  Call CloseRunning
  ${If} $Replaced32 != ""
    Push $Replaced32
    Call CloseRunning
  ${EndIf}
SectionEnd

; One program or the other, each in a section of its own, so that the space the components page names is
; what the chosen one takes (.onInit leaves the other out).
Section "-Program32" Program32Section
  SetOutPath "$INSTDIR"
  File /oname=Veltrix.exe "${PROGRAM}"
SectionEnd

!ifdef PROGRAM64
Section "-Program64" Program64Section
  SetOutPath "$INSTDIR"
  File /oname=Veltrix.exe "${PROGRAM64}"
SectionEnd
!endif

Section "Veltrix" ProgramSection
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /oname=README.txt "${DOCS}/README.txt"
  File /oname=LICENSE.txt "${DOCS}/LICENSE.txt"
  File /oname=THIRD-PARTY-NOTICES.txt "${DOCS}/THIRD-PARTY-NOTICES.txt"
  ; Left by an earlier version's update, which keeps the replaced program under this name until the new
  ; one has started. The installer's files replace both; a swap the journal still waits to finish would
  ; otherwise put its "_new" file over the program just installed at the next start.
  Delete "$INSTDIR\Veltrix_old.exe"
  Delete "$INSTDIR\Veltrix_new.exe"
  Delete "$INSTDIR\Update.journal"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Veltrix.lnk" "$INSTDIR\Veltrix.exe" "" "$INSTDIR\Veltrix.exe" 0 SW_SHOWNORMAL "" \
    "$(ShortcutComment)"

  ; Programs and Features. The uninstaller is told the mode it was installed in.
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $0 "/AllUsers"
  ${Else}
    StrCpy $0 "/CurrentUser"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Veltrix"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Koravent"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "https://www.koravent.com"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Veltrix.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" $0'
  ; "_?=" (last, as NSIS wants it) runs the uninstaller in place instead of from a copy in the temporary
  ; folder that NSIS starts without waiting: whoever runs the command waits until Veltrix is removed (its
  ; own file and the folder go the moment it ends, see the uninstaller's section).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" $0 /S _?=$INSTDIR'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1

  ; The replaced 32-bit installation: its files (unless this one took its folder) and its entry.
  ${If} $Replaced32 != ""
    ${If} $Replaced32 != $INSTDIR
      Push $Replaced32
      Call RemoveFiles
    ${EndIf}
    SetRegView 32
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    SetRegView 64
  ${EndIf}
SectionEnd

; The logon start is the user's own choice, so it lives under the user's key in either mode.
Section /o "$(LogonSection)" LogonSection
  WriteRegStr HKCU "${RUN_KEY}" "Veltrix" '"$INSTDIR\Veltrix.exe" -s'
SectionEnd

Section "-LogonOff"
  ${IfNot} ${SectionIsSelected} ${LogonSection}
    DeleteRegValue HKCU "${RUN_KEY}" "Veltrix"
  ${EndIf}
SectionEnd

; Whether the Windows key alone opens the menu of the copy in the notification area: the user's setting,
; which the About box changes too.
Section "$(WinKeySection)" WinKeySection
  WriteRegDWORD HKCU "${SETTINGS_KEY}" "WinKey" 1
SectionEnd

Section "-WinKeyOff"
  ${IfNot} ${SectionIsSelected} ${WinKeySection}
    WriteRegDWORD HKCU "${SETTINGS_KEY}" "WinKey" 0
  ${EndIf}
SectionEnd

; A copy that ran in the notification area before a silent installation runs there again after it; the
; last page asks (StartVeltrix).
Section "-Restart"
  ${If} ${Silent}
  ${AndIf} $WasResident = 1
    Exec '"$INSTDIR\Veltrix.exe" -u -s'
  ${EndIf}
SectionEnd

Function TickStartVeltrix
  ${If} ${SectionIsSelected} ${LogonSection}
  ${OrIf} $WasResident = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_CHECKED} 0
  ${EndIf}
FunctionEnd

; In the notification area when it starts there at logon or ran there before, else as its Start menu
; shortcut starts it, with the menu at the mouse. "-u": the installer may run as administrator, the
; program then asks the desktop's shell to start it as the signed-in user.
Function StartVeltrix
  ${If} ${SectionIsSelected} ${LogonSection}
  ${OrIf} $WasResident = 1
    Exec '"$INSTDIR\Veltrix.exe" -u -s'
  ${Else}
    Exec '"$INSTDIR\Veltrix.exe" -u'
  ${EndIf}
FunctionEnd

; Called by MultiUser whenever the mode is set, after it chose the mode's folder (the folder of an
; earlier installation in that mode, read from its entry, or the mode's default).
Function ChooseFolder
  StrCpy $Replaced32 ""
  ${If} $Native64 = 1
  ${AndIf} $MultiUser.InstallMode == "AllUsers"
    SetRegView 32
    ReadRegStr $Replaced32 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView 64
    ; Without a 64-bit installation, the 32-bit one's folder is kept where the user chose one himself.
    ${If} $MultiUser.InstDir == ""
    ${AndIf} $Replaced32 != ""
      StrCpy $INSTDIR $Replaced32
    ${EndIf}
    ${If} $INSTDIR == "$PROGRAMFILES32\Veltrix"
      StrCpy $INSTDIR "$PROGRAMFILES64\Veltrix"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Where the 64-bit program is installed, the registry's native view holds its entry; NSIS, a 32-bit
; program, would otherwise read and write the 32-bit view.
!macro CHOOSE_PROGRAM
  StrCpy $Native64 0
!ifdef PROGRAM64
  ${If} ${IsNativeAMD64}
    StrCpy $Native64 1
    SetRegView 64
  ${EndIf}
!endif
!macroend

Function .onInit
  !insertmacro CHOOSE_PROGRAM
!ifdef PROGRAM64
  ${If} $Native64 = 1
    !insertmacro UnselectSection ${Program32Section}
  ${Else}
    !insertmacro UnselectSection ${Program64Section}
  ${EndIf}
!endif
  ; NSIS sets $INSTDIR from /D= before this runs, and MultiUser's initialisation would replace it with the
  ; mode's default folder: a folder given on the command line wins.
  StrCpy $R9 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $R9 != ""
    StrCpy $INSTDIR $R9
  ${EndIf}
  ; Chosen on the command line, or kept from an earlier installation.
  ReadRegStr $0 HKCU "${RUN_KEY}" "Veltrix"
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/Logon" $2
  ${IfNot} ${Errors}
  ${OrIf} $0 != ""
    !insertmacro SelectSection ${LogonSection}
  ${EndIf}
  ; On unless the command line or the user's earlier choice says otherwise.
  ClearErrors
  ReadRegDWORD $0 HKCU "${SETTINGS_KEY}" "WinKey"
  ${IfNot} ${Errors}
  ${AndIf} $0 = 0
    !insertmacro UnselectSection ${WinKeySection}
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/NoWinKey" $2
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${WinKeySection}
  ${EndIf}
FunctionEnd

Section "un.Veltrix" UninstallSection
  SectionIn RO
  Push $INSTDIR
  Call un.CloseRunning
  Push $INSTDIR
  Call un.RemoveFiles
  ; Run in place (see QuietUninstallString), the uninstaller can neither delete its own file nor move it
  ; (NSIS holds it open): a copy of it in the temporary folder removes that file and the folder the moment
  ; this process has ended (un.onInit, /Cleanup).
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    GetTempFileName $1
    CopyFiles /SILENT "$EXEPATH" $1
    System::Call 'kernel32::GetCurrentProcessId() i .r2'
    Exec '"$1" /S /Cleanup=$2 _?=$INSTDIR'
  ${EndIf}
  Delete "$SMPROGRAMS\Veltrix.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Veltrix"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The icon cache of the user who uninstalls; it is made again by any other copy that runs.
  Delete "$TEMP\Veltrix.sql"
  Delete "$TEMP\Veltrix.sql-journal"
SectionEnd

Section /o "un.$(SettingsSection)" SettingsSection
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Koravent"
  ; The memory of what the user starts lies in the user's own local application data, whoever installed.
  SetShellVarContext current
  Delete "$LOCALAPPDATA\Koravent\Veltrix\Veltrix-usage.sql"
  Delete "$LOCALAPPDATA\Koravent\Veltrix\Veltrix-usage.sql-journal"
  RMDir "$LOCALAPPDATA\Koravent\Veltrix"
  RMDir "$LOCALAPPDATA\Koravent"
  ${If} $MultiUser.InstallMode == "AllUsers"
    SetShellVarContext all
  ${EndIf}
SectionEnd

; Removing needs no space: the components page's "Space required: 0.0 KB" would only puzzle.
Function un.HideSpaceRequired
  FindWindow $0 "#32770" "" $HWNDPARENT
  GetDlgItem $0 $0 1023
  ShowWindow $0 ${SW_HIDE}
FunctionEnd

Function un.onInit
  ; The copy an uninstaller that ran in place left behind: once that process has ended, its file and the
  ; folder go, then this copy ends (its own file goes at the next restart, or with the temporary folder).
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/Cleanup=" $1
  ${IfNot} ${Errors}
    ; SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i r1) p .r2'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 30000)'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
    Quit
  ${EndIf}
  !insertmacro CHOOSE_PROGRAM
  !insertmacro MULTIUSER_UNINIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SettingsSection}
  ${EndIf}
FunctionEnd
