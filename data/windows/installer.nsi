; The Windows installer: QuireOutlookBackup-<version>-setup.exe, made by makensis at build time
; (cmake/WindowsRelease.cmake passes VERSION, STAGE: the folder holding what it installs, OUTFILE,
; and ICON: the program's icon, which the installer and the uninstaller show too).
;
; Who it installs for: a user without administrator rights gets a per-user installation (the
; program under %LOCALAPPDATA%\Programs, every key under HKEY_CURRENT_USER), so nobody needs to ask
; an administrator; the same installer run elevated installs for all users (Program Files, HKLM).
; /CurrentUser or /AllUsers on the command line choose explicitly.
;
; The uninstaller removes exactly what was installed. The program keeps settings.dat, brlog.dat
; and, by default, the backups themselves in its program folder, which is the installation folder
; of a per-user install: those files are never deleted, and the folder stays while they are in it.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Quire Outlook Backup"
!define PROGID "QuireOutlookBackup.qob"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuireOutlookBackup"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "LegalCopyright" "GPL-3.0-or-later"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var AllUsers

; Elevated (an administrator's full token) means all users, unless /CurrentUser says otherwise; an
; administrator whose token UAC filtered counts as a plain user here, which is what we want.
!macro ChooseMode
    StrCpy $AllUsers 0
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 == "Admin"
        StrCpy $AllUsers 1
    ${EndIf}
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/AllUsers" $2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $1 "/CurrentUser" $2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
    ${EndIf}
!macroend

!macro UseMode
    SetRegView 64
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
!macroend

Function .onInit
    !insertmacro ChooseMode
    ${If} $AllUsers == 1
        ${If} $0 != "Admin"
            MessageBox MB_ICONSTOP "Installing for all users needs administrator rights: run the installer as administrator, or without /AllUsers." /SD IDOK
            Abort
        ${EndIf}
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
    !insertmacro UseMode
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}\qob.exe"
    File "${STAGE}\quiremail.exe"
    File "${STAGE}\README.md"
    SetOutPath "$INSTDIR\help"
    File "${STAGE}\help\index.html"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quiremail.exe" "" "$INSTDIR\quiremail.exe" 0

    ; A .qob opens in the program. SHCTX is HKCU\Software\Classes per user, HKLM for all users.
    WriteRegStr SHCTX "Software\Classes\.qob" "" "${PROGID}"
    WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "${PRODUCT} backup"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" '"$INSTDIR\quiremail.exe",0'
    WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\quiremail.exe" --open "%1"'

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\quiremail.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "InstallForAllUsers" $AllUsers

    ; Tell Explorer that a file type changed, so .qob files show their new owner at once.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

; The uninstaller serves the installation it sits in: all users when HKLM names this folder.
Function un.onInit
    StrCpy $AllUsers 0
    SetRegView 64
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        StrCpy $AllUsers 1
    ${EndIf}
    !insertmacro UseMode
FunctionEnd

Section "Uninstall"
    Delete "$INSTDIR\qob.exe"
    Delete "$INSTDIR\quiremail.exe"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\help\index.html"
    RMDir "$INSTDIR\help"
    Delete "$INSTDIR\uninstall.exe"
    ; Not /r: settings.dat, brlog.dat and backups saved here keep the folder.
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\${PRODUCT}.lnk"

    ; .qob is ours only while it still names our type: another program may have taken it since.
    ReadRegStr $0 SHCTX "Software\Classes\.qob" ""
    ${If} $0 == "${PROGID}"
        DeleteRegKey SHCTX "Software\Classes\.qob"
    ${EndIf}
    DeleteRegKey SHCTX "Software\Classes\${PROGID}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"

    ; The settings window's start-up entry would start a program that is gone; it is the user's own
    ; (HKCU) whoever installed, and removed only when it names this installation.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 == '"$INSTDIR\quiremail.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    ; So is the entry that makes up a missed weekly backup at logon.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT} (missed weekly backup)"
    ${If} $0 == '"$INSTDIR\quiremail.exe" --catch-up'
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT} (missed weekly backup)"
    ${EndIf}

    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
