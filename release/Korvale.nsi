; Korvale's own installer. Installs the program, its library, the help launcher, the user guide
; and a readme, with Start menu shortcuts to the window and the guide and, on request, the
; install folder on the machine-wide PATH;
; registers itself for "Installed apps" and upgrades an earlier installation in its folder, or
; moves it to another. Two copies never run at once (the application lock of the Pelwick
; plug-in, shared with the uninstaller); a target on a CD-ROM drive (its drive query), a drive
; root and a folder that cannot be written are refused before anything is written.
;
; makensis -DTARGET=<x86-unicode|amd64-unicode> -DVERSION=<version> -DBIN=<folder with the
;          binaries and PathHelper.exe> -DPLUGINS=<Plugins folder> -DICON=<icon>
;          -DREADME=<readme> -DGUIDE=<Korvale.chm> -DLICENSE=<licence> -DOUTFILE=<installer>
;          Korvale.nsi
;
; Command line: /S silent, /D=<folder> (last), /PATH=0|1 and /SHORTCUT=0|1 choose the optional
; components (by default the Start menu shortcuts only, or what the earlier installation had).
; Exit status of the installer, and of the uninstaller where it applies:
;   0 installed (uninstalled)
;   1 cancelled
;   2 another setup is running
;   3 target on a CD-ROM drive
;   4 a file of Korvale is in use (nothing was changed), or could not be written
;   5 installed, but the folder could not go on PATH
;   6 a bad /PATH= or /SHORTCUT= value
;   7 a target that cannot take the installation: a drive root, a path through a file or on
;     a drive that does not exist, a folder that cannot be written
Target ${TARGET}
!addplugindir /${TARGET} "${PLUGINS}/${TARGET}"

; The release's own work on the Windows files makensis writes: -DFINALIZE=<command> runs on the
; setup, and on the uninstaller before it goes into the setup (the copy the setup writes at
; install time cannot be signed afterwards). Installed files take the time they are installed,
; not the build tree's times, which would make two builds of one commit differ.
!ifdef FINALIZE
  !finalize '${FINALIZE} "%1"' = 0
  !uninstfinalize '${FINALIZE} "%1"' = 0
!endif
SetDateSave off
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define SETUP_LOCK "Korvale.Setup"
!define DRIVE_CDROM "5"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale"
!define SHORTCUT "$SMPROGRAMS\Korvale.lnk"
!define GUIDE_SHORTCUT "$SMPROGRAMS\Korvale user guide.lnk"
!define EXIT_OTHER_SETUP 2
!define EXIT_CDROM 3
!define EXIT_IN_USE 4
!define EXIT_NO_PATH 5
!define EXIT_BAD_OPTION 6
!define EXIT_BAD_TARGET 7

Name "Korvale"
OutFile "${OUTFILE}"
!if ${TARGET} == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\Korvale"
!else
  InstallDir "$PROGRAMFILES\Korvale"
!endif
; An upgrade goes where the earlier installation is, unless /D= says otherwise. A 64-bit
; installer reads the 64-bit registry, a 32-bit one the 32-bit view: each finds its own kind.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be written stops the setup (Retry/Cancel) instead of being skipped,
; which a silent run would otherwise do without a word.
AllowSkipFiles off

Var PreviousLocation  ; the registered installation's folder, if there is one
Var PreviousPathEntry ; the entry that installation put on PATH, as it wrote it, if it did

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Korvale.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Run Korvale"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Korvale.chm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the user guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; The registry view of the target, and the all-users Start menu.
!macro UseMachineScope
  !if ${TARGET} == "amd64-unicode"
    SetRegView 64
  !endif
  SetShellVarContext all
!macroend

!macro TakeSetupLock
  Pelwick::lockApplication "${SETUP_LOCK}"
  Pop $0
  ${If} $0 != "true"
    MessageBox MB_ICONSTOP "Another Korvale setup is running." /SD IDOK
    SetErrorLevel ${EXIT_OTHER_SETUP}
    Quit
  ${EndIf}
!macroend

; Leaves "true" on the stack when the folder's drive is a CD-ROM drive.
!macro IsOnCdRom FOLDER
  StrCpy $R9 "${FOLDER}" 3
  Pelwick::getDriveType $R9
  Pop $R9
  ${If} $R9 == ${DRIVE_CDROM}
    Push "true"
  ${Else}
    Push "false"
  ${EndIf}
!macroend

; A running program (or any process using the DLLs) keeps its files from being written. Ask
; before anything changes, so an upgrade is never left half done: Retry, or Cancel with
; exit status 4 (the answer of a silent run).
!macro RequireNotInUse FILE
  ${If} ${FileExists} "${FILE}"
    ${Do}
      ClearErrors
      FileOpen $R0 "${FILE}" a
      ${IfNot} ${Errors}
        FileClose $R0
        ${Break}
      ${EndIf}
      DetailPrint "In use: ${FILE}"
      ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${FILE} is in use.$\r$\n$\r$\nClose Korvale (and any program that uses its library), then choose Retry." /SD IDCANCEL IDRETRY`
        SetErrorLevel ${EXIT_IN_USE}
        Quit
      ${EndIf}
    ${Loop}
  ${EndIf}
!macroend

!macro RequireInstallationNotInUse FOLDER
  !insertmacro RequireNotInUse "${FOLDER}\Korvale.exe"
  !insertmacro RequireNotInUse "${FOLDER}\KorvaleBatch.exe"
  !insertmacro RequireNotInUse "${FOLDER}\KorvaleDesk.exe"
  !insertmacro RequireNotInUse "${FOLDER}\Korvalelib.dll"
  !insertmacro RequireNotInUse "${FOLDER}\Tavisk.dll"
  !insertmacro RequireNotInUse "${FOLDER}\Korvale.chm"
  !insertmacro RequireNotInUse "${FOLDER}\Uninstall.exe"
!macroend

; What the setup put into FOLDER, and FOLDER once nothing else is left in it: files of the
; user's own stay, and so does the folder that holds them.
!macro RemoveInstalledFiles FOLDER
  Delete "${FOLDER}\Korvale.exe"
  Delete "${FOLDER}\KorvaleBatch.exe"
  Delete "${FOLDER}\KorvaleDesk.exe"
  Delete "${FOLDER}\Korvalelib.dll"
  Delete "${FOLDER}\Tavisk.dll"
  Delete "${FOLDER}\Korvale.chm"
  Delete "${FOLDER}\README.md"
  Delete "${FOLDER}\Uninstall.exe"
  RMDir "${FOLDER}"
!macroend

; PathHelper edits PATH in full: the installer's own strings hold at most 1024 characters,
; and a longer PATH read through them would be cut short when written back.
; EditPath add FOLDER (or remove ENTRY) leaves the helper's exit status in $0 (0 changed,
; 1 nothing to change, 2 failed) and its one-line message in $1.
!macro DefinePathEditor PREFIX
  Function ${PREFIX}EditPath
    Pop $1 ; folder or entry
    Pop $0 ; command
    InitPluginsDir
    File "/oname=$PLUGINSDIR\PathHelper.exe" "${BIN}\PathHelper.exe"
    nsExec::ExecToStack '"$PLUGINSDIR\PathHelper.exe" $0 "$1"'
    Pop $0
    Pop $1
    DetailPrint "PATH: $1"
  FunctionEnd
!macroend
!insertmacro DefinePathEditor ""
!insertmacro DefinePathEditor "un."

!macro EditPath COMMAND FOLDER
  Push "${COMMAND}"
  Push "${FOLDER}"
  !ifdef __UNINSTALL__
    Call un.EditPath
  !else
    Call EditPath
  !endif
!macroend

; Leaves "true" on the stack when the setup can write into FOLDER: a new file can be made in
; it, or in the nearest folder above it that exists (the others are made on the way there). The
; file goes again at once.
Function CanWriteInto
  Pop $R0
  ${Do}
    ${IfThen} ${FileExists} "$R0\*.*" ${|} ${Break} ${|}
    ${GetParent} $R0 $R0
  ${LoopUntil} $R0 == ""
  StrCpy $R3 "false"
  ${If} $R0 != ""
    GetTempFileName $R1 $R0
    ; When the file cannot be made there, the name may come back all the same, or name a file
    ; made in the temporary folder.
    ${If} ${FileExists} $R1
      Delete $R1
      ${GetParent} $R1 $R2
      ${IfThen} $R2 == $R0 ${|} StrCpy $R3 "true" ${|}
    ${EndIf}
  ${EndIf}
  Push $R3
FunctionEnd

; Leaves "true" on the stack when FOLDER is the install folder under another name (a short
; name, a trailing backslash, a link): a file made in the install folder shows there too.
Function IsInstallFolder
  Pop $R0
  GetTempFileName $R1 $INSTDIR
  ${GetFileName} $R1 $R2
  ${If} ${FileExists} "$R0\$R2"
    StrCpy $R0 "true"
  ${Else}
    StrCpy $R0 "false"
  ${EndIf}
  Delete $R1
  Push $R0
FunctionEnd

; The folder that /D= names, or nothing. NSIS takes /D= off $CMDLINE, and puts a folder it
; cannot install into (a drive root, a path through a file or on a drive that does not exist)
; aside without a word for the registered or the default one; the command line as the system
; keeps it still holds it.
Function GivenFolder
  System::Call 'kernel32::GetCommandLine() t .R0'
  StrCpy $R1 0
  ${Do}
    StrCpy $R2 $R0 4 $R1
    ${If} $R2 == ""
      StrCpy $R0 ""
      ${Break}
    ${ElseIf} $R2 S== " /D="
      IntOp $R1 $R1 + 4
      StrCpy $R0 $R0 "" $R1
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 + 1
  ${Loop}
  Push $R0
FunctionEnd

!define CANNOT_WRITE "Korvale cannot be installed into $INSTDIR: the folder cannot be written."

; The directory page keeps its Next button off for a folder on a CD-ROM drive (and, by NSIS's
; own rule, for a drive root), and does not let a folder that cannot be written pass.
Function .onVerifyInstDir
  !insertmacro IsOnCdRom $INSTDIR
  Pop $0
  ${If} $0 == "true"
    Abort
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Push $INSTDIR
  Call CanWriteInto
  Pop $0
  ${If} $0 != "true"
    MessageBox MB_ICONSTOP "${CANNOT_WRITE}$\r$\n$\r$\nChoose another folder."
    Abort
  ${EndIf}
FunctionEnd

Section "Korvale (required)" SecProgram
  SectionIn RO
  ; A silent run skips the directory page: test the folder here too, before anything is written.
  !insertmacro IsOnCdRom $INSTDIR
  Pop $0
  ${If} $0 == "true"
    MessageBox MB_ICONSTOP "Korvale cannot be installed on a CD-ROM drive: $INSTDIR" /SD IDOK
    SetErrorLevel ${EXIT_CDROM}
    Quit
  ${EndIf}
  Push $INSTDIR
  Call CanWriteInto
  Pop $0
  ${If} $0 != "true"
    MessageBox MB_ICONSTOP "${CANNOT_WRITE}" /SD IDOK
    SetErrorLevel ${EXIT_BAD_TARGET}
    Quit
  ${EndIf}
  !insertmacro RequireInstallationNotInUse $INSTDIR
  ; An installation that moves here leaves its old folder at the end: nothing there may be in
  ; use either.
  ${If} $PreviousLocation != ""
  ${AndIf} $PreviousLocation != $INSTDIR
    !insertmacro RequireInstallationNotInUse $PreviousLocation
  ${EndIf}

  SetOutPath $INSTDIR
  File "${BIN}\Korvale.exe"
  File "${BIN}\KorvaleBatch.exe"
  File "${BIN}\KorvaleDesk.exe"
  File "${BIN}\Korvalelib.dll"
  File "${BIN}\Tavisk.dll"
  File "${GUIDE}"
  File "/oname=README.md" "${README}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; One registration, rewritten in place by an upgrade.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Korvale"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Korvale developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Korvale.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Start menu shortcuts" SecShortcut
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Korvale.exe" "" "$INSTDIR\Korvale.exe" 0
  CreateShortcut "${GUIDE_SHORTCUT}" "$INSTDIR\Korvale.chm"
SectionEnd

Section /o "Add to PATH" SecPath
  ; An installation that moved takes its old entry along.
  ${If} $PreviousPathEntry != ""
  ${AndIf} $PreviousPathEntry != $INSTDIR
    !insertmacro EditPath remove $PreviousPathEntry
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${EndIf}
  !insertmacro EditPath add $INSTDIR
  ; Only an entry this setup added is the uninstaller's to take out: one that was there
  ; before stays, unless an earlier Korvale setup had added it. PathHelper appends the folder
  ; exactly as $INSTDIR reads, so that text is the entry, and the uninstaller takes it out
  ; alone: another spelling of the folder, added by the user since, stays.
  ${If} $0 == 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PathEntry" "$INSTDIR"
  ${ElseIf} $0 != 1
    MessageBox MB_ICONEXCLAMATION "Korvale was installed, but its folder could not be added to PATH:$\r$\n$1" /SD IDOK
    SetErrorLevel ${EXIT_NO_PATH}
  ${EndIf}
SectionEnd

; Components that an earlier installation had and this one leaves out go away.
Section "-Finish"
  ${IfNot} ${SectionIsSelected} ${SecShortcut}
    Delete "${SHORTCUT}"
    Delete "${GUIDE_SHORTCUT}"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecPath}
  ${AndIf} $PreviousPathEntry != ""
    !insertmacro EditPath remove $PreviousPathEntry
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${EndIf}
  ; An installation moved here from another folder leaves it (its registration, shortcut and
  ; PATH entry have moved already). Last, so that a setup that fails on the way leaves the old
  ; installation as it was.
  ${If} $PreviousLocation != ""
    Push $PreviousLocation
    Call IsInstallFolder
    Pop $0
    ${If} $0 == "false"
      !insertmacro RemoveInstalledFiles $PreviousLocation
    ${EndIf}
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The programs Korvale.exe, KorvaleBatch.exe and KorvaleDesk.exe, the checksum library, the help launcher, the user guide and the readme."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecShortcut} "Shortcuts to the Korvale window and the user guide in the Start menu."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Adds the install folder to the system PATH, so that Korvale runs from any command prompt."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; /NAME=0|1 selects or clears a component; no such option leaves it as it is.
!macro ApplyOption NAME SECTION
  ClearErrors
  ${GetOptions} $R0 "/${NAME}=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "1"
      !insertmacro SelectSection ${SECTION}
    ${ElseIf} $R1 == "0"
      !insertmacro UnselectSection ${SECTION}
    ${Else}
      MessageBox MB_ICONSTOP "/${NAME}= takes 0 or 1, not $\"$R1$\"." /SD IDOK
      SetErrorLevel ${EXIT_BAD_OPTION}
      Quit
    ${EndIf}
  ${EndIf}
!macroend

Function .onInit
  !insertmacro UseMachineScope
  !insertmacro TakeSetupLock
  ; An upgrade offers the components the earlier installation had.
  ReadRegStr $PreviousLocation HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $PreviousPathEntry HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${If} $PreviousLocation != ""
    ${IfNot} ${FileExists} "${SHORTCUT}"
      !insertmacro UnselectSection ${SecShortcut}
    ${EndIf}
    ${If} $PreviousPathEntry != ""
      !insertmacro SelectSection ${SecPath}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $R0
  !insertmacro ApplyOption PATH ${SecPath}
  !insertmacro ApplyOption SHORTCUT ${SecShortcut}
  ; A /D= folder that NSIS put aside ends a silent setup; the wizard shows it on the directory
  ; page, which lets it go no further.
  Call GivenFolder
  Pop $0
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    ${If} ${Silent}
      SetErrorLevel ${EXIT_BAD_TARGET}
      Quit
    ${EndIf}
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; A file that could not be written even after RequireInstallationNotInUse (a program started
; in between, a full disk) stopped the setup through NSIS's own Retry/Cancel question.
Function .onInstFailed
  SetErrorLevel ${EXIT_IN_USE}
FunctionEnd

Function .onInstSuccess
  Pelwick::unlockApplication "${SETUP_LOCK}"
  Pop $0
FunctionEnd

Function un.onInit
  !insertmacro UseMachineScope
  !insertmacro TakeSetupLock
FunctionEnd

Section "Uninstall"
  !insertmacro RequireNotInUse "$INSTDIR\Korvale.exe"
  !insertmacro RequireNotInUse "$INSTDIR\KorvaleBatch.exe"
  !insertmacro RequireNotInUse "$INSTDIR\KorvaleDesk.exe"
  !insertmacro RequireNotInUse "$INSTDIR\Korvalelib.dll"
  !insertmacro RequireNotInUse "$INSTDIR\Tavisk.dll"
  !insertmacro RequireNotInUse "$INSTDIR\Korvale.chm"

  ; The registration, the shortcut and the PATH entry belong to the registered installation:
  ; an uninstaller in another folder (left there when an earlier setup moved the installation)
  ; leaves them alone.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PathEntry"
    ${If} $0 != ""
      !insertmacro EditPath remove $0
      ${If} $0 != 0
      ${AndIf} $0 != 1
        MessageBox MB_ICONEXCLAMATION "The Korvale folder could not be taken off PATH:$\r$\n$1" /SD IDOK
      ${EndIf}
    ${EndIf}
    Delete "${SHORTCUT}"
    Delete "${GUIDE_SHORTCUT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  !insertmacro RemoveInstalledFiles $INSTDIR
SectionEnd

Function un.onUninstSuccess
  Pelwick::unlockApplication "${SETUP_LOCK}"
  Pop $0
FunctionEnd
