; Korvale's own installer. Installs the program, its library, the help launcher and a readme.
; Two copies never run at once (the application lock of the Pelwick plug-in), and a target on
; a CD-ROM drive is refused (its drive query).
;
; makensis -DTARGET=<x86-unicode|amd64-unicode> -DBIN=<folder with the binaries>
;          -DPLUGINS=<Plugins folder> -DREADME=<readme file> -DOUTFILE=<installer> Korvale.nsi
;
; Exit status: 0 installed, 1 cancelled, 2 another setup is running, 3 target on a CD-ROM.
Target ${TARGET}
!addplugindir /${TARGET} "${PLUGINS}/${TARGET}"
!include LogicLib.nsh

!define SETUP_LOCK "Korvale.Setup"
!define DRIVE_CDROM "5"

Name "Korvale"
OutFile "${OUTFILE}"
!if ${TARGET} == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\Korvale"
!else
  InstallDir "$PROGRAMFILES\Korvale"
!endif
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

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

Function .onInit
  Pelwick::lockApplication "${SETUP_LOCK}"
  Pop $0
  ${If} $0 != "true"
    MessageBox MB_ICONSTOP "Another Korvale setup is running." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; The directory page keeps its Next button off for a folder on a CD-ROM drive.
Function .onVerifyInstDir
  !insertmacro IsOnCdRom $INSTDIR
  Pop $0
  ${If} $0 == "true"
    Abort
  ${EndIf}
FunctionEnd

Section "Korvale"
  ; A silent run skips the directory page: test the folder here too.
  !insertmacro IsOnCdRom $INSTDIR
  Pop $0
  ${If} $0 == "true"
    MessageBox MB_ICONSTOP "Korvale cannot be installed on a CD-ROM drive: $INSTDIR" /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}

  SetOutPath $INSTDIR
  File "${BIN}\Korvale.exe"
  File "${BIN}\KorvaleBatch.exe"
  File "${BIN}\Korvalelib.dll"
  File "${BIN}\Tavisk.dll"
  File "/oname=README.md" "${README}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\Korvale.exe"
  Delete "$INSTDIR\KorvaleBatch.exe"
  Delete "$INSTDIR\Korvalelib.dll"
  Delete "$INSTDIR\Tavisk.dll"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

Function .onInstSuccess
  Pelwick::unlockApplication "${SETUP_LOCK}"
  Pop $0
FunctionEnd
