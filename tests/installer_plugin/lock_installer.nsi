; An installer that calls every export of the plug-in, without /NOUNLOAD, and writes each
; result to a file beside itself. Build with -DTARGET=<plug-in folder> -DPLUGINS=<Plugins dir>
; -DOUTFILE=<installer>; run with /S and:
;   /mode=sequence /out=FILE            every export in one process, in a fixed order
;   /mode=lock /out=FILE [/wait=FILE]   isQuarnAppRunning and lockApplication, then, if asked,
;                                       hold on (without unlocking) until the file appears
Target ${TARGET}
!addplugindir /${TARGET} "${PLUGINS}/${TARGET}"
!include FileFunc.nsh
!include LogicLib.nsh

Name "Pelwick test installer"
OutFile "${OUTFILE}"
RequestExecutionLevel user
SilentInstall silent

!define SEQUENCE_NAME "Local\PelwickSequence"
!define LOCK_NAME "Local\PelwickHold"

; Writes "<label>=<top of the stack>" to the result file.
!macro Record LABEL
  Pop $0
  FileWrite $9 "${LABEL}=$0$\r$\n"
!macroend

Section
  ${GetParameters} $R0
  ${GetOptions} $R0 "/mode=" $R1
  ${GetOptions} $R0 "/out=" $R2
  ${GetOptions} $R0 "/wait=" $R3
  ; Written under another name first, so that a reader never sees a half-written file.
  FileOpen $9 "$EXEDIR\$R2.part" w

  ${If} $R1 == "sequence"
    Pelwick::unlockApplication "no lock yet"
    !insertmacro Record "unlock-without-lock"
    Pelwick::isQuarnAppRunning "${SEQUENCE_NAME}"
    !insertmacro Record "running-before"
    Pelwick::lockApplication "${SEQUENCE_NAME}"
    !insertmacro Record "lock"
    Pelwick::lockApplication "${SEQUENCE_NAME}"
    !insertmacro Record "second-lock"
    Pelwick::isQuarnAppRunning "${SEQUENCE_NAME}"
    !insertmacro Record "running-locked"
    Pelwick::unlockApplication "${SEQUENCE_NAME}"
    !insertmacro Record "unlock"
    Pelwick::isQuarnAppRunning "${SEQUENCE_NAME}"
    !insertmacro Record "running-after"
    Pelwick::lockApplication "${SEQUENCE_NAME}"
    !insertmacro Record "lock-again"
    Pelwick::unlockApplication "${SEQUENCE_NAME}"
    !insertmacro Record "unlock-again"
    Pelwick::getDriveType "C:\"
    !insertmacro Record "drive-root"
    ; Not a root directory. (Wine answers 3 for a folder that exists, where Windows says 1.)
    Pelwick::getDriveType "C:\no such folder\"
    !insertmacro Record "drive-not-root"
    ; The stack holds nothing of the plug-in's now: one result replaced each argument.
    ClearErrors
    Pop $0
    ${If} ${Errors}
      FileWrite $9 "stack=balanced$\r$\n"
    ${Else}
      FileWrite $9 "stack=left $0$\r$\n"
    ${EndIf}
  ${ElseIf} $R1 == "lock"
    Pelwick::isQuarnAppRunning "${LOCK_NAME}"
    !insertmacro Record "running"
    Pelwick::lockApplication "${LOCK_NAME}"
    !insertmacro Record "lock"
  ${EndIf}
  FileClose $9
  Rename "$EXEDIR\$R2.part" "$EXEDIR\$R2"

  ${If} $R3 != ""
    ; Hold on for at most a minute.
    StrCpy $1 0
    ${DoUntil} ${FileExists} "$EXEDIR\$R3"
      Sleep 100
      IntOp $1 $1 + 1
      ${IfThen} $1 > 600 ${|} ${ExitDo} ${|}
    ${Loop}
  ${EndIf}
SectionEnd
