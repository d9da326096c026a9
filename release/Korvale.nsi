; Korvale's own installer. Installs the programs, their library, the help launcher, the user
; guide and a readme, for everyone (Program Files, HKLM: administrator rights) or for the user
; alone (their own programs folder, HKCU: no administrator rights), with Explorer commands on
; XML files and folders, a Send To entry, Start menu shortcuts to the results window and the
; guide and, on request, the install folder on PATH (the machine's or the user's);
; registers itself for "Installed apps" in the hive of its scope, and upgrades an earlier
; installation of that scope in its folder, or moves it to another. Two copies never run at
; once (the application lock of the Pelwick plug-in, shared with the uninstaller); a target on
; a CD-ROM drive (its drive query), a drive root and a folder that cannot be written are
; refused before anything is written, and so is an installation in one scope while Korvale is
; installed in the other.
;
; makensis -DTARGET=<x86-unicode|amd64-unicode> -DVERSION=<version> -DVI_VERSION=<a.b.c.d>
;          -DBIN=<folder with the binaries and PathHelper.exe> -DPLUGINS=<Plugins folder>
;          -DICON=<icon> -DREADME=<readme> -DGUIDE=<Korvale.chm> -DLICENSE=<licence text>
;          -DOUTFILE=<installer> Korvale.nsi
;
; Command line: /S silent, /D=<folder> (last); /AllUsers or /CurrentUser the scope (without
; either: the scope of the installation found, else for everyone); /VERBS=0|1, /SENDTO=0|1,
; /SHORTCUT=0|1 and /PATH=0|1 choose the optional components (by default all but PATH, or what
; the earlier installation had).
; What the setup wrote, it records in its registration (InstallScope, ExplorerVerbs,
; SendToLink, PathEntry, PathValueCreated, CreatedKeys, CreatedFolder), so that the uninstaller
; removes exactly that and the registry keys and folders it had to make, once they are empty.
; Exit status of the installer, and of the uninstaller where it applies:
;   0 installed (uninstalled)
;   1 cancelled
;   2 another setup is running
;   3 target on a CD-ROM drive
;   4 a file of Korvale is in use (nothing was changed), or could not be written
;   5 installed, but the folder could not go on PATH
;   6 a bad /PATH=, /SHORTCUT=, /VERBS= or /SENDTO= value, or both /AllUsers and /CurrentUser
;   7 a target that cannot take the installation: a drive root, a path through a file or on
;     a drive that does not exist, a folder that cannot be written
;   8 for everyone without administrator rights (nothing was changed)
;   9 Korvale is installed in the other scope (nothing was changed)
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
!include nsDialogs.nsh
!include x64.nsh

!define SETUP_LOCK "Korvale.Setup"
!define DRIVE_CDROM "5"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale"
; $SMPROGRAMS and $SENDTO follow the scope (SetShellVarContext); Windows has no Send To
; folder for all users, so Send To is always the installing user's, and recorded.
!define SHORTCUT "$SMPROGRAMS\Korvale.lnk"
!define GUIDE_SHORTCUT "$SMPROGRAMS\Korvale user guide.lnk"
!define SENDTO_LINK "$SENDTO\Korvale.lnk"
!define DESK "KorvaleDesk.exe"
!define EXIT_OTHER_SETUP 2
!define EXIT_CDROM 3
!define EXIT_IN_USE 4
!define EXIT_NO_PATH 5
!define EXIT_BAD_OPTION 6
!define EXIT_BAD_TARGET 7
!define EXIT_NEEDS_ADMIN 8
!define EXIT_OTHER_SCOPE 9

; The Explorer commands, under Software\Classes of the scope's hive: registry keys only, beside
; the .xml association (whatever program opens .xml files keeps doing so).
!define FILE_VERBS "Software\Classes\SystemFileAssociations\.xml\shell"
!define FOLDER_VERBS "Software\Classes\Directory\shell"
!define BACKGROUND_VERBS "Software\Classes\Directory\Background\shell"
!define SHCNE_ASSOCCHANGED 0x08000000

; Keys above the setup's own that it may have to make (a new user's HKCU has few of them),
; one bit each in the registration's CreatedKeys: the uninstaller deletes the ones it made,
; deepest first, and only while they are empty.
!define KEY_UNINSTALL_LIST 1
!define KEY_CLASSES 2
!define KEY_FILE_TYPES 4
!define KEY_FILE_TYPE 8
!define KEY_FILE_VERBS 16
!define KEY_DIRECTORY 32
!define KEY_FOLDER_VERBS 64
!define KEY_BACKGROUND 128
!define KEY_BACKGROUND_VERBS 256

Name "Korvale"
OutFile "${OUTFILE}"
BrandingText "Korvale ${VERSION}"
ManifestDPIAware true
!if ${TARGET} == "amd64-unicode"
  !define MACHINE_FOLDER "$PROGRAMFILES64\Korvale"
!else
  !define MACHINE_FOLDER "$PROGRAMFILES\Korvale"
!endif
; Only the starting point: .onInit sets the folder of the scope, or of the installation found
; there (an upgrade goes where the earlier installation is, unless /D= says otherwise).
InstallDir "${MACHINE_FOLDER}"
; Administrators are asked for elevation (an installation for everyone, or for themselves);
; other users run without it, and install for themselves.
RequestExecutionLevel highest
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be written stops the setup (Retry/Cancel) instead of being skipped,
; which a silent run would otherwise do without a word.
AllowSkipFiles off

Var Scope             ; AllUsers or CurrentUser
Var IsAdmin           ; true when the setup runs with administrator rights
Var MachineLocation   ; the folder of the installation for everyone, if there is one
Var UserLocation      ; the folder of this user's own installation, if there is one
Var GivenFolder       ; the folder that /D= names, if it does
Var PreviousLocation  ; the registered installation's folder in the scope, if there is one
Var PreviousPathEntry ; the entry that installation put on PATH, as it wrote it, if it did
Var PreviousCreatedFolder ; the folder it made on the way to its own (CreatedFolder)
Var CreatedFolder     ; the topmost folder this installation made for the install folder
Var CreatedKeys       ; the keys above its own that the setup made (KEY_ bits)
Var ScopeEveryone     ; the scope page's radio buttons
Var ScopeMe

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunDesk
!define MUI_FINISHPAGE_RUN_TEXT "Run Korvale"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Korvale.chm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the user guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
Page custom ScopePageShow ScopePageLeave
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

; The version record, which the uninstaller carries too.
VIProductVersion "${VI_VERSION}"
VIFileVersion "${VI_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Korvale"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "The Korvale developers"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Korvale setup: installs and uninstalls Korvale"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 the Korvale developers, MIT License"

; The registry view of the target: the 64-bit one for the amd64 setup (HKCU\Software is one
; for both views), the 32-bit setup's own otherwise (no SetRegView on 32-bit Windows).
!macro UseRegistryView
  !if ${TARGET} == "amd64-unicode"
    SetRegView 64
  !endif
!macroend

; The classes that Explorer reads: a 32-bit setup on 64-bit Windows writes its commands into
; the 64-bit view, the one 64-bit Explorer reads (Windows shares most of Software\Classes
; between the views anyway); on 32-bit Windows there is one view, and no SetRegView 64.
!macro EnterClassesView
  !if ${TARGET} != "amd64-unicode"
    ${If} ${RunningX64}
      SetRegView 64
    ${EndIf}
  !endif
!macroend
!macro LeaveClassesView
  !if ${TARGET} != "amd64-unicode"
    SetRegView default
  !endif
!macroend

; The scope in $Scope: its Start menu, its registry hive (SHCTX) and its shell folders.
!macro EnterScope
  ${If} $Scope == "CurrentUser"
    SetShellVarContext current
  ${Else}
    SetShellVarContext all
  ${EndIf}
!macroend

; $IsAdmin: true when the process holds administrator rights (under UAC: elevated).
!macro DetectRights
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin "true"
  ${Else}
    StrCpy $IsAdmin "false"
  ${EndIf}
!macroend

; /AllUsers or /CurrentUser into $Scope (left as it is without them); both, or either with
; something glued to it, end the run with status 6.
!macro ReadScopeSwitch
  ${GetParameters} $R0
  StrCpy $R2 ""
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $R2 "AllUsers$R1"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    StrCpy $R2 "$R2CurrentUser$R1"
  ${EndIf}
  ${If} $R2 == "AllUsers"
  ${OrIf} $R2 == "CurrentUser"
    StrCpy $Scope $R2
  ${ElseIf} $R2 != ""
    MessageBox MB_ICONSTOP "Give either /AllUsers or /CurrentUser, alone." /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
!macroend

; Explorer reads the commands of file types and folders again.
!macro ShellNotify
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
!macroend

; Sets BIT in $CreatedKeys when KEY does not exist yet in the scope's hive.
!macro NoteMissingKey BIT KEY
  ClearErrors
  EnumRegKey $R9 SHCTX "${KEY}" 0
  ${If} ${Errors}
    IntOp $CreatedKeys $CreatedKeys | ${BIT}
  ${EndIf}
!macroend

; Deletes KEY when the setup made it (BIT in $CreatedKeys) and nothing is left in it.
!macro DeleteCreatedKey BIT KEY
  IntOp $R9 $CreatedKeys & ${BIT}
  ${If} $R9 <> 0
    DeleteRegKey /ifempty SHCTX "${KEY}"
  ${EndIf}
!macroend

!macro WriteVerb KEY TEXT COMMAND MULTISELECT
  WriteRegStr SHCTX "${KEY}" "" "${TEXT}"
  WriteRegStr SHCTX "${KEY}" "Icon" "$INSTDIR\${DESK},0"
  !if "${MULTISELECT}" != ""
    WriteRegStr SHCTX "${KEY}" "MultiSelectModel" "${MULTISELECT}"
  !endif
  WriteRegStr SHCTX "${KEY}\command" "" '${COMMAND}'
!macroend

; The Explorer commands go (their keys are Korvale's by name), and the keys above them that the
; setup made, once empty.
!macro RemoveVerbs
  !insertmacro EnterClassesView
  DeleteRegKey SHCTX "${FILE_VERBS}\KorvaleCheck"
  DeleteRegKey SHCTX "${FILE_VERBS}\KorvaleStamp"
  DeleteRegKey SHCTX "${FOLDER_VERBS}\KorvaleCheck"
  DeleteRegKey SHCTX "${BACKGROUND_VERBS}\KorvaleCheck"
  !insertmacro DeleteCreatedKey ${KEY_FILE_VERBS} "${FILE_VERBS}"
  !insertmacro DeleteCreatedKey ${KEY_FILE_TYPE} "Software\Classes\SystemFileAssociations\.xml"
  !insertmacro DeleteCreatedKey ${KEY_FILE_TYPES} "Software\Classes\SystemFileAssociations"
  !insertmacro DeleteCreatedKey ${KEY_BACKGROUND_VERBS} "${BACKGROUND_VERBS}"
  !insertmacro DeleteCreatedKey ${KEY_BACKGROUND} "Software\Classes\Directory\Background"
  !insertmacro DeleteCreatedKey ${KEY_FOLDER_VERBS} "${FOLDER_VERBS}"
  !insertmacro DeleteCreatedKey ${KEY_DIRECTORY} "Software\Classes\Directory"
  !insertmacro DeleteCreatedKey ${KEY_CLASSES} "Software\Classes"
  !insertmacro LeaveClassesView
  !insertmacro ShellNotify
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
; user's own stay, and so does the folder that holds them. So do the folders above it, up to
; TOP, the topmost that the setup made on the way to FOLDER (CreatedFolder; none when empty).
!macro RemoveInstalledFiles FOLDER TOP
  Delete "${FOLDER}\Korvale.exe"
  Delete "${FOLDER}\KorvaleBatch.exe"
  Delete "${FOLDER}\KorvaleDesk.exe"
  Delete "${FOLDER}\Korvalelib.dll"
  Delete "${FOLDER}\Tavisk.dll"
  Delete "${FOLDER}\Korvale.chm"
  Delete "${FOLDER}\README.md"
  Delete "${FOLDER}\Uninstall.exe"
  RMDir "${FOLDER}"
  Push "${FOLDER}"
  Push "${TOP}"
  !ifdef __UNINSTALL__
    Call un.RemoveMadeFolders
  !else
    Call RemoveMadeFolders
  !endif
!macroend

; Pops TOP and FOLDER: removes the folders above FOLDER up to TOP while they are empty, when
; TOP is FOLDER's ancestor.
!macro DefineRemoveMadeFolders PREFIX
  Function ${PREFIX}RemoveMadeFolders
    Exch $R1 ; TOP
    Exch
    Exch $R0 ; FOLDER
    Push $R2
    StrLen $R2 "$R1\"
    StrCpy $R2 $R0 $R2
    ${If} $R1 != ""
    ${AndIf} $R2 == "$R1\"
      ${Do}
        ${GetParent} $R0 $R0
        ClearErrors
        RMDir $R0
        ${IfThen} ${Errors} ${|} ${Break} ${|}
      ${LoopUntil} $R0 == $R1
    ${EndIf}
    Pop $R2
    Pop $R0
    Pop $R1
  FunctionEnd
!macroend
!insertmacro DefineRemoveMadeFolders ""
!insertmacro DefineRemoveMadeFolders "un."

; PathHelper edits PATH in full: the installer's own strings hold at most 1024 characters,
; and a longer PATH read through them would be cut short when written back. It edits the PATH
; of the scope: the machine's, or the user's own (--user, HKCU\Environment).
; EditPath add FOLDER (or remove ENTRY, or remove-created ENTRY) leaves the helper's exit
; status in $0 (0 changed, 1 nothing to change, 2 failed, 3 added into a value it made) and its
; one-line message in $1.
!macro DefinePathEditor PREFIX
  Function ${PREFIX}EditPath
    Pop $1 ; folder or entry
    Pop $0 ; command
    InitPluginsDir
    File "/oname=$PLUGINSDIR\PathHelper.exe" "${BIN}\PathHelper.exe"
    ${If} $Scope == "CurrentUser"
      StrCpy $0 "--user $0"
    ${EndIf}
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

; Takes the recorded ENTRY off PATH, and the value with it when the setup made the value and
; nothing else is left in it; the registration forgets both.
!macro RemoveRecordedPathEntry ENTRY
  ReadRegDWORD $R9 SHCTX "${UNINSTALL_KEY}" "PathValueCreated"
  ${If} $R9 == 1
    !insertmacro EditPath remove-created "${ENTRY}"
  ${Else}
    !insertmacro EditPath remove "${ENTRY}"
  ${EndIf}
  DeleteRegValue SHCTX "${UNINSTALL_KEY}" "PathEntry"
  DeleteRegValue SHCTX "${UNINSTALL_KEY}" "PathValueCreated"
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

; Leaves on the stack the topmost folder on the way to FOLDER that does not exist yet, which
; installing there makes; nothing when FOLDER exists.
Function FirstMissingFolder
  Exch $R0
  Push $R1
  StrCpy $R1 ""
  ${DoWhile} $R0 != ""
    ${IfThen} ${FileExists} "$R0\*.*" ${|} ${Break} ${|}
    StrCpy $R1 $R0
    ${GetParent} $R0 $R0
  ${Loop}
  StrCpy $R0 $R1
  Pop $R1
  Exch $R0
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

  ; The folders that installing makes, for the uninstaller; an upgrade in place keeps the
  ; record of the installation it replaces.
  Push $INSTDIR
  Call FirstMissingFolder
  Pop $CreatedFolder
  ${If} $CreatedFolder == ""
  ${AndIf} $PreviousLocation == $INSTDIR
    StrCpy $CreatedFolder $PreviousCreatedFolder
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

  ; One registration in the scope's hive, rewritten in place by an upgrade. Its uninstall
  ; commands name the scope; the uninstaller also finds it by its folder.
  !insertmacro NoteMissingKey ${KEY_UNINSTALL_LIST} "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Korvale"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Korvale developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${DESK},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallScope" "$Scope"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$Scope'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$Scope /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} $CreatedFolder != ""
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "CreatedFolder" "$CreatedFolder"
  ${Else}
    DeleteRegValue SHCTX "${UNINSTALL_KEY}" "CreatedFolder"
  ${EndIf}
SectionEnd

; "Check with Korvale" and "Stamp with Korvale" on XML files, whatever program opens them, and
; "Check XML files with Korvale" on folders and on a folder's background: each starts the
; results window with the items. Explorer starts a command once per selected item (the window
; gathers them into one); the Player model shows it for any number of them, where the default
; hides it beyond 15.
Section "Explorer commands" SecVerbs
  !insertmacro EnterClassesView
  !insertmacro NoteMissingKey ${KEY_CLASSES} "Software\Classes"
  !insertmacro NoteMissingKey ${KEY_FILE_TYPES} "Software\Classes\SystemFileAssociations"
  !insertmacro NoteMissingKey ${KEY_FILE_TYPE} "Software\Classes\SystemFileAssociations\.xml"
  !insertmacro NoteMissingKey ${KEY_FILE_VERBS} "${FILE_VERBS}"
  !insertmacro NoteMissingKey ${KEY_DIRECTORY} "Software\Classes\Directory"
  !insertmacro NoteMissingKey ${KEY_FOLDER_VERBS} "${FOLDER_VERBS}"
  !insertmacro NoteMissingKey ${KEY_BACKGROUND} "Software\Classes\Directory\Background"
  !insertmacro NoteMissingKey ${KEY_BACKGROUND_VERBS} "${BACKGROUND_VERBS}"
  !insertmacro LeaveClassesView
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "CreatedKeys" $CreatedKeys
  !insertmacro EnterClassesView
  !insertmacro WriteVerb "${FILE_VERBS}\KorvaleCheck" "Check with Korvale" \
    '"$INSTDIR\${DESK}" "%1"' "Player"
  !insertmacro WriteVerb "${FILE_VERBS}\KorvaleStamp" "Stamp with Korvale" \
    '"$INSTDIR\${DESK}" /stamp "%1"' "Player"
  !insertmacro WriteVerb "${FOLDER_VERBS}\KorvaleCheck" "Check XML files with Korvale" \
    '"$INSTDIR\${DESK}" "%1"' "Player"
  !insertmacro WriteVerb "${BACKGROUND_VERBS}\KorvaleCheck" "Check XML files with Korvale" \
    '"$INSTDIR\${DESK}" "%V"' ""
  !insertmacro LeaveClassesView
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "ExplorerVerbs" 1
  !insertmacro ShellNotify
SectionEnd

; Send To > Korvale: the selected items, all at once, to the results window.
Section "Send To" SecSendTo
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "SendToLink"
  ${If} $0 != ""
  ${AndIf} $0 != "${SENDTO_LINK}"
    Delete $0 ; the earlier installation's, made by another user
  ${EndIf}
  CreateShortcut "${SENDTO_LINK}" "$INSTDIR\${DESK}" "" "$INSTDIR\${DESK}" 0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "SendToLink" "${SENDTO_LINK}"
SectionEnd

Section "Start menu shortcuts" SecShortcut
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${DESK}" "" "$INSTDIR\${DESK}" 0
  CreateShortcut "${GUIDE_SHORTCUT}" "$INSTDIR\Korvale.chm"
SectionEnd

Section /o "Add to PATH" SecPath
  ; An installation that moved takes its old entry along.
  ${If} $PreviousPathEntry != ""
  ${AndIf} $PreviousPathEntry != $INSTDIR
    !insertmacro RemoveRecordedPathEntry $PreviousPathEntry
  ${EndIf}
  !insertmacro EditPath add $INSTDIR
  ; Only an entry this setup added is the uninstaller's to take out: one that was there
  ; before stays, unless an earlier Korvale setup had added it. PathHelper appends the folder
  ; exactly as $INSTDIR reads, so that text is the entry, and the uninstaller takes it out
  ; alone: another spelling of the folder, added by the user since, stays. A value that
  ; PathHelper had to make (a user's PATH often does not exist) goes again with the entry.
  ${If} $0 == 0
  ${OrIf} $0 == 3
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "PathEntry" "$INSTDIR"
    ${If} $0 == 3
      WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "PathValueCreated" 1
    ${EndIf}
  ${ElseIf} $0 != 1
    MessageBox MB_ICONEXCLAMATION "Korvale was installed, but its folder could not be added to PATH:$\r$\n$1" /SD IDOK
    SetErrorLevel ${EXIT_NO_PATH}
  ${EndIf}
SectionEnd

; Components that an earlier installation had and this one leaves out go away.
Section "-Finish"
  ${IfNot} ${SectionIsSelected} ${SecVerbs}
    !insertmacro RemoveVerbs
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "ExplorerVerbs" 0
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecSendTo}
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "SendToLink"
    ${If} $0 != ""
      Delete $0
    ${EndIf}
    DeleteRegValue SHCTX "${UNINSTALL_KEY}" "SendToLink"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecShortcut}
    Delete "${SHORTCUT}"
    Delete "${GUIDE_SHORTCUT}"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecPath}
  ${AndIf} $PreviousPathEntry != ""
    !insertmacro RemoveRecordedPathEntry $PreviousPathEntry
  ${EndIf}
  ; An installation moved here from another folder leaves it (its registration, shortcut and
  ; PATH entry have moved already). Last, so that a setup that fails on the way leaves the old
  ; installation as it was.
  ${If} $PreviousLocation != ""
    Push $PreviousLocation
    Call IsInstallFolder
    Pop $0
    ${If} $0 == "false"
      !insertmacro RemoveInstalledFiles $PreviousLocation $PreviousCreatedFolder
    ${EndIf}
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "CreatedKeys" $CreatedKeys
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The programs Korvale.exe, KorvaleBatch.exe and KorvaleDesk.exe, the checksum library, the help launcher, the user guide and the readme."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVerbs} "Check with Korvale and Stamp with Korvale on XML files, and Check XML files with Korvale on folders, in Explorer's menus."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSendTo} "Korvale in Explorer's Send To menu: the selected files and folders checked in the results window."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecShortcut} "Shortcuts to the results window and the user guide in the Start menu."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Adds the install folder to PATH (the system's, or yours for an installation for you only), so that Korvale runs from any command prompt."
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

; The optional components: the defaults, then those of the earlier installation in the scope,
; then the command line's. A bad value on the command line ends the run with status 6.
Function ApplyComponents
  !insertmacro SelectSection ${SecVerbs}
  !insertmacro SelectSection ${SecSendTo}
  !insertmacro SelectSection ${SecShortcut}
  !insertmacro UnselectSection ${SecPath}
  ${If} $PreviousLocation != ""
    ${IfNot} ${FileExists} "${SHORTCUT}"
      !insertmacro UnselectSection ${SecShortcut}
    ${EndIf}
    ${If} $PreviousPathEntry != ""
      !insertmacro SelectSection ${SecPath}
    ${EndIf}
    ; An installation by a setup that knew the Explorer commands and Send To says whether it
    ; had them; an older one is offered them as a new installation is.
    ClearErrors
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallScope"
    ${IfNot} ${Errors}
      ReadRegDWORD $0 SHCTX "${UNINSTALL_KEY}" "ExplorerVerbs"
      ${If} $0 != 1
        !insertmacro UnselectSection ${SecVerbs}
      ${EndIf}
      ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "SendToLink"
      ${If} $0 == ""
        !insertmacro UnselectSection ${SecSendTo}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $R0
  !insertmacro ApplyOption PATH ${SecPath}
  !insertmacro ApplyOption SHORTCUT ${SecShortcut}
  !insertmacro ApplyOption VERBS ${SecVerbs}
  !insertmacro ApplyOption SENDTO ${SecSendTo}
FunctionEnd

; Takes the scope in $Scope: its shell folders and hive, the installation found there, the
; components, and the folder (unless /D= gave one).
Function ApplyScope
  !insertmacro EnterScope
  ReadRegStr $PreviousLocation SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $PreviousPathEntry SHCTX "${UNINSTALL_KEY}" "PathEntry"
  ReadRegStr $PreviousCreatedFolder SHCTX "${UNINSTALL_KEY}" "CreatedFolder"
  ReadRegDWORD $CreatedKeys SHCTX "${UNINSTALL_KEY}" "CreatedKeys"
  IntOp $CreatedKeys $CreatedKeys + 0
  Call ApplyComponents
  ${If} $GivenFolder == ""
    ${If} $PreviousLocation != ""
      StrCpy $INSTDIR $PreviousLocation
    ${ElseIf} $Scope == "CurrentUser"
      ; The user's own programs folder (FOLDERID_UserProgramFiles).
      GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
      ${IfThen} $INSTDIR == "" ${|} StrCpy $INSTDIR "$LOCALAPPDATA\Programs" ${|}
      StrCpy $INSTDIR "$INSTDIR\Korvale"
    ${Else}
      StrCpy $INSTDIR "${MACHINE_FOLDER}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; What keeps the setup from installing in the scope in $Scope: leaves the status in $R2 and the
; message in $R1, or nothing in $R2.
Function ScopeProblem
  StrCpy $R2 ""
  ${If} $Scope == "AllUsers"
    ${If} $UserLocation != ""
    ${AndIf} $MachineLocation == ""
      StrCpy $R2 ${EXIT_OTHER_SCOPE}
      StrCpy $R1 "Korvale is installed for you only, in $UserLocation.$\r$\n$\r$\nTo install it for everyone, uninstall that installation first."
    ${ElseIf} $IsAdmin != "true"
      StrCpy $R2 ${EXIT_NEEDS_ADMIN}
      StrCpy $R1 "Installing Korvale for everyone needs administrator rights.$\r$\n$\r$\nStart the setup as administrator, or install Korvale for you only (/CurrentUser)."
    ${EndIf}
  ${ElseIf} $MachineLocation != ""
  ${AndIf} $UserLocation == ""
    StrCpy $R2 ${EXIT_OTHER_SCOPE}
    StrCpy $R1 "Korvale is installed for everyone, in $MachineLocation.$\r$\n$\r$\nTo install it for you only, uninstall that installation first."
  ${EndIf}
FunctionEnd

Function .onInit
  !insertmacro UseRegistryView
  !insertmacro TakeSetupLock
  !insertmacro DetectRights
  ReadRegStr $MachineLocation HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $UserLocation HKCU "${UNINSTALL_KEY}" "InstallLocation"
  Call ApplyComponents ; only to refuse a bad value before anything else
  ; The scope: as asked; else that of the installation found (for everyone first); else for
  ; everyone, as before there were scopes (the wizard offers a user without administrator
  ; rights the installation for them only instead).
  !insertmacro ReadScopeSwitch
  ${If} $Scope == ""
    ${If} $MachineLocation != ""
      StrCpy $Scope "AllUsers"
    ${ElseIf} $UserLocation != ""
      StrCpy $Scope "CurrentUser"
    ${ElseIf} $IsAdmin == "true"
    ${OrIf} ${Silent}
      StrCpy $Scope "AllUsers"
    ${Else}
      StrCpy $Scope "CurrentUser"
    ${EndIf}
  ${EndIf}
  Call ScopeProblem
  ${If} $R2 != ""
    MessageBox MB_ICONSTOP $R1 /SD IDOK
    SetErrorLevel $R2
    Quit
  ${EndIf}
  ; A /D= folder that NSIS put aside ends a silent setup; the wizard shows it on the directory
  ; page, which lets it go no further.
  Call GivenFolder
  Pop $GivenFolder
  ${If} $GivenFolder != ""
  ${AndIf} $GivenFolder != $INSTDIR
    ${If} ${Silent}
      SetErrorLevel ${EXIT_BAD_TARGET}
      Quit
    ${EndIf}
    StrCpy $INSTDIR $GivenFolder
  ${EndIf}
  Call ApplyScope
FunctionEnd

; For everyone or for me only. A choice that cannot be had is shown off, and why.
Function ScopePageShow
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose whether Korvale is installed for everyone who uses this computer, or for you only."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Install Korvale for:"
  Pop $0
  ${NSD_CreateRadioButton} 10u 20u -10u 12u "&Everyone who uses this computer (into Program Files; needs administrator rights)"
  Pop $ScopeEveryone
  ${NSD_CreateRadioButton} 10u 38u -10u 12u "&Me only (into your own programs folder; no administrator rights needed)"
  Pop $ScopeMe
  StrCpy $1 ""
  ${If} $MachineLocation != ""
  ${AndIf} $UserLocation == ""
    EnableWindow $ScopeMe 0
    StrCpy $1 "Korvale is installed for everyone, in $MachineLocation: this setup upgrades that installation. To install Korvale for you only, uninstall it first."
  ${ElseIf} $UserLocation != ""
  ${AndIf} $MachineLocation == ""
    EnableWindow $ScopeEveryone 0
    StrCpy $1 "Korvale is installed for you only, in $UserLocation: this setup upgrades that installation. To install Korvale for everyone, uninstall it first."
  ${ElseIf} $IsAdmin != "true"
    EnableWindow $ScopeEveryone 0
    StrCpy $1 "Installing for everyone needs administrator rights: start the setup as administrator for that."
  ${EndIf}
  ${NSD_CreateLabel} 0 62u 100% 40u $1
  Pop $0
  ${If} $Scope == "AllUsers"
    ${NSD_Check} $ScopeEveryone
  ${Else}
    ${NSD_Check} $ScopeMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $ScopeEveryone $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Scope "AllUsers"
  ${Else}
    StrCpy $Scope "CurrentUser"
  ${EndIf}
  Call ScopeProblem
  ${If} $R2 != ""
    MessageBox MB_ICONSTOP $R1
    Abort
  ${EndIf}
  Call ApplyScope
FunctionEnd

; The finish page's "Run Korvale". An elevated setup starts the results window through the
; desktop's own Explorer, so that it runs with the user's usual rights: an elevated window would
; be refused the files that Explorer's commands and drag and drop later hand to it.
Function RunDesk
  ${If} $IsAdmin == "true"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${DESK}"'
  ${Else}
    Exec '"$INSTDIR\${DESK}"'
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

; The uninstaller's scope: as its registration's command says (/AllUsers, /CurrentUser), else
; that of the registration that names its folder. An uninstaller that no registration names
; (left behind when an earlier setup moved the installation) removes its own files only.
Function un.onInit
  !insertmacro UseRegistryView
  !insertmacro TakeSetupLock
  !insertmacro DetectRights
  !insertmacro ReadScopeSwitch
  ${If} $Scope == ""
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
      StrCpy $Scope "AllUsers"
    ${ElseIf} $1 == $INSTDIR
      StrCpy $Scope "CurrentUser"
    ${EndIf}
  ${EndIf}
  ${If} $Scope == "AllUsers"
  ${AndIf} $IsAdmin != "true"
    MessageBox MB_ICONSTOP "Korvale is installed for everyone: removing it needs administrator rights.$\r$\n$\r$\nStart the uninstaller as administrator." /SD IDOK
    SetErrorLevel ${EXIT_NEEDS_ADMIN}
    Quit
  ${EndIf}
  !insertmacro EnterScope
FunctionEnd

Section "Uninstall"
  !insertmacro RequireNotInUse "$INSTDIR\Korvale.exe"
  !insertmacro RequireNotInUse "$INSTDIR\KorvaleBatch.exe"
  !insertmacro RequireNotInUse "$INSTDIR\KorvaleDesk.exe"
  !insertmacro RequireNotInUse "$INSTDIR\Korvalelib.dll"
  !insertmacro RequireNotInUse "$INSTDIR\Tavisk.dll"
  !insertmacro RequireNotInUse "$INSTDIR\Korvale.chm"

  ; The registration, the shortcuts, the Explorer commands and the PATH entry belong to the
  ; registered installation: an uninstaller in another folder (left there when an earlier
  ; setup moved the installation) leaves them alone.
  StrCpy $CreatedFolder ""
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $Scope != ""
  ${AndIf} $0 == $INSTDIR
    ReadRegStr $CreatedFolder SHCTX "${UNINSTALL_KEY}" "CreatedFolder"
    ReadRegDWORD $CreatedKeys SHCTX "${UNINSTALL_KEY}" "CreatedKeys"
    IntOp $CreatedKeys $CreatedKeys + 0
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "PathEntry"
    ${If} $0 != ""
      !insertmacro RemoveRecordedPathEntry $0
      ${If} $0 != 0
      ${AndIf} $0 != 1
        MessageBox MB_ICONEXCLAMATION "The Korvale folder could not be taken off PATH:$\r$\n$1" /SD IDOK
      ${EndIf}
    ${EndIf}
    Delete "${SHORTCUT}"
    Delete "${GUIDE_SHORTCUT}"
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "SendToLink"
    ${If} $0 != ""
      Delete $0
    ${EndIf}
    !insertmacro RemoveVerbs
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    !insertmacro DeleteCreatedKey ${KEY_UNINSTALL_LIST} "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  ${EndIf}
  !insertmacro RemoveInstalledFiles $INSTDIR $CreatedFolder
SectionEnd

Function un.onUninstSuccess
  Pelwick::unlockApplication "${SETUP_LOCK}"
  Pop $0
FunctionEnd
