; plugin_example.nsi: the installer plug-in in a small installer. One setup of the example at a
; time, no installation onto a CD-ROM drive, and a note whether the program is in use.
;   makensis -DPLUGINS=<Plugins folder> -DOUTFILE=<installer> plugin_example.nsi
Target amd64-unicode
!addplugindir /amd64-unicode "${PLUGINS}/amd64-unicode"
!include LogicLib.nsh

Name "Example"
OutFile "${OUTFILE}"
InstallDir "$TEMP\Example"
RequestExecutionLevel user

Function .onInit
  Pelwick::lockApplication "Example.Setup"
  Pop $0
  ${If} $0 != "true"
    MessageBox MB_ICONSTOP "Another setup of Example is running." /SD IDOK
    Quit
  ${EndIf}
FunctionEnd

Section
  StrCpy $1 $INSTDIR 3                ; the drive's root, such as "C:\"
  Pelwick::getDriveType $1
  Pop $1                              ; "3" a fixed disk, "5" a CD-ROM drive
  ${If} $1 == "5"
    Abort "Example cannot be installed on a CD-ROM drive."
  ${EndIf}
  Pelwick::isQuarnAppRunning "Example.Running"
  Pop $2                              ; "true" while the program counts itself as running
  SetOutPath $INSTDIR
  FileOpen $3 "$INSTDIR\setup.log" w
  FileWrite $3 "drive type $1, program running: $2$\r$\n"
  FileClose $3
  Pelwick::unlockApplication "Example.Setup"
  Pop $0
SectionEnd
