; Keywarden's installer: one setup for 64- and 32-bit Windows (the 64-bit
; program on 64-bit Windows), per machine, into Program Files. Built by
; scripts/package.sh with makensis 3, which passes:
;   VERSION     the program's version, as set in CMake (1.3)
;   VERSION4    the same as four numbers, for the setup's own version resource
;   WIN64_DIR   folder with the 64-bit keywarden.exe and the other files
;   WIN32_DIR   folder with the 32-bit keywarden.exe
;   OUTFILE     the setup to write
;   ICON        (optional) the program's icon
;   SIGN_COMMAND (optional) a command that signs the file named after it
;   TARGET      (optional) another NSIS target; the release setup is the
;               default 32-bit one, which runs on both kinds of Windows
;
; Command line: /S silent; /D=<folder> another folder; /AUTOSTART=1 or 0
; starts Keywarden at log-on or not. Without /AUTOSTART the box starts ticked
; when an autostart value exists, and otherwise ticked unless silent.

!ifdef TARGET
    Target ${TARGET}
!else
    Unicode true
!endif
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include WinVer.nsh
!include WinMessages.nsh
!include x64.nsh
!include nsDialogs.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Keywarden"
!define EVENT_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Keywarden"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Velmorra\Keywarden"

Name "Keywarden ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "Keywarden ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!ifdef SIGN_COMMAND
    !uninstfinalize '${SIGN_COMMAND} "%1"'
!endif

!ifdef ICON
    !define MUI_ICON "${ICON}"
    !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

Var Autostart      ; 1: write the Run value, 0: remove it
Var AutostartBox

!insertmacro MUI_PAGE_DIRECTORY
Page custom AutostartPage AutostartPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\keywarden.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Keywarden now"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE English

VIProductVersion ${VERSION4}
VIFileVersion ${VERSION4}
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductName "Keywarden"
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileDescription "Keywarden ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} LegalCopyright "Copyright (C) 2026 Keywarden"

; Asks every running Keywarden to quit (it quits on WM_CLOSE without asking)
; and waits until its program file is free, so that it can be replaced or
; deleted. Other windows captioned "Keywarden", such as its question box,
; ignore WM_CLOSE or go with their program.
!macro CLOSE_KEYWARDEN un
Function ${un}CloseKeywarden
    Push $0
    Push $1
    Push $2
    StrCpy $2 0
    ${Do}
        FindWindow $0 "#32770" "Keywarden"
        ${If} $0 = 0
            ${Break}
        ${EndIf}
        ${Do}
            DetailPrint "Closing the running Keywarden"
            SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
            FindWindow $0 "#32770" "Keywarden" "" $0
        ${LoopUntil} $0 = 0
        Sleep 200
        IntOp $2 $2 + 1
    ${LoopUntil} $2 >= 50
    ; The window goes before the process does.
    ${If} ${FileExists} "$INSTDIR\keywarden.exe"
        StrCpy $2 0
        ${Do}
            ClearErrors
            FileOpen $1 "$INSTDIR\keywarden.exe" a
            ${IfNot} ${Errors}
                FileClose $1
                ${Break}
            ${EndIf}
            Sleep 200
            IntOp $2 $2 + 1
        ${LoopUntil} $2 >= 50
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_KEYWARDEN ""
!insertmacro CLOSE_KEYWARDEN "un."

Function .onInit
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_OK|MB_ICONSTOP "Keywarden needs Windows 7 or later." /SD IDOK
        Abort
    ${EndIf}
    ; HKLM entries in the view of the program that is installed.
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; No /D= given: the folder of an earlier installation, else Program Files.
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR HKLM "${UNINST_KEY}" "InstallLocation"
    ${EndIf}
    ${If} $INSTDIR == ""
        ${If} ${RunningX64}
            StrCpy $INSTDIR "$PROGRAMFILES64\Keywarden"
        ${Else}
            StrCpy $INSTDIR "$PROGRAMFILES\Keywarden"
        ${EndIf}
    ${EndIf}

    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART=" $1
    ${IfNot} ${Errors}
        ${If} $1 == 1
            StrCpy $Autostart 1
        ${Else}
            StrCpy $Autostart 0
        ${EndIf}
    ${Else}
        ClearErrors
        ReadRegStr $1 HKCU "${RUN_KEY}" "Keywarden"
        ${IfNot} ${Errors}
            StrCpy $Autostart 1
        ${ElseIf} ${Silent}
            StrCpy $Autostart 0
        ${Else}
            StrCpy $Autostart 1
        ${EndIf}
    ${EndIf}
FunctionEnd

Function AutostartPage
    !insertmacro MUI_HEADER_TEXT "Starting with Windows" "Keywarden watches only while it runs."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 40u "Keywarden can start hidden in the notification area each time you log on. \
This is set for your own account; other users of this computer can turn it on \
from the Options tab of Keywarden."
    Pop $0
    ${NSD_CreateCheckbox} 0 48u 100% 12u "&Start Keywarden when I log on"
    Pop $AutostartBox
    ${If} $Autostart == 1
        ${NSD_Check} $AutostartBox
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function AutostartPageLeave
    ${NSD_GetState} $AutostartBox $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $Autostart 1
    ${Else}
        StrCpy $Autostart 0
    ${EndIf}
FunctionEnd

Section "Keywarden"
    SectionIn RO
    Call CloseKeywarden

    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "${WIN64_DIR}/keywarden.exe"
    ${Else}
        File "${WIN32_DIR}/keywarden.exe"
    ${EndIf}
    File "${WIN64_DIR}/keywarden.chm"
    File "${WIN64_DIR}/README.txt"
    File "${WIN64_DIR}/LICENSE.txt"
    File "${WIN64_DIR}/THIRD-PARTY-NOTICES.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\Keywarden.lnk" "$INSTDIR\keywarden.exe" "" \
        "$INSTDIR\keywarden.exe" 0 SW_SHOWNORMAL "" "Watches the autostart registry keys"

    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Keywarden"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Keywarden"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\keywarden.exe"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0

    ; The program is its own message file for the Application event log.
    WriteRegExpandStr HKLM "${EVENT_KEY}" "EventMessageFile" "$INSTDIR\keywarden.exe"
    WriteRegDWORD HKLM "${EVENT_KEY}" "TypesSupported" 7

    ; The same command as the Options page writes, in the installing user's
    ; own Run key.
    ${If} $Autostart == 1
        WriteRegStr HKCU "${RUN_KEY}" "Keywarden" '"$INSTDIR\keywarden.exe" -tray'
    ${Else}
        DeleteRegValue HKCU "${RUN_KEY}" "Keywarden"
    ${EndIf}
SectionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.CloseKeywarden

    Delete "$INSTDIR\keywarden.exe"
    Delete "$INSTDIR\keywarden.chm"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Not /r: whatever else is in the folder is not ours.
    RMDir "$INSTDIR"

    SetShellVarContext all
    Delete "$SMPROGRAMS\Keywarden.lnk"
    DeleteRegKey HKLM "${UNINST_KEY}"
    DeleteRegKey HKLM "${EVENT_KEY}"

    ; The autostart value of this user, when it starts this copy: one that
    ; starts a portable copy elsewhere stays.
    ClearErrors
    ReadRegStr $0 HKCU "${RUN_KEY}" "Keywarden"
    ${IfNot} ${Errors}
        ${WordFind} $0 "$INSTDIR\keywarden.exe" "E#" $1
        ${IfNot} ${Errors}
            DeleteRegValue HKCU "${RUN_KEY}" "Keywarden"
        ${EndIf}
    ${EndIf}

    SetShellVarContext current
    MessageBox MB_YESNO|MB_ICONQUESTION "Delete your Keywarden settings, its journal and its saved accepted state as well?" \
        /SD IDNO IDNO keep
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Velmorra"
    Delete "$LOCALAPPDATA\Keywarden\events.ndjson"
    Delete "$LOCALAPPDATA\Keywarden\baseline.dat"
    RMDir "$LOCALAPPDATA\Keywarden"
keep:
SectionEnd
