{ korvalelib.pas: Korvalelib's functions for Delphi and Free Pascal.

  The counted string of the interface is Pascal's own ShortString: a length byte and up to
  255 characters, in the system's ANSI code page on Windows (UTF-8 on Linux). Every function
  uses the stdcall convention, which 64-bit targets read as their only one (so the same
  declarations serve libKorvalelib.so on Linux). The file operations return the codes of korvalelib.h: 0 OK, 1 and 2 a
  stamp that is empty or differs, 11 to 13 no usable field, 21 cannot open, 22 too short. }
unit korvalelib;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

const
{$IFDEF MSWINDOWS}
  KorvalelibName = 'Korvalelib.dll';
{$ELSE}
  KorvalelibName = 'Korvalelib';
{$ENDIF}

type
  { A progress indicator; any callback may be nil. }
  TSetProgressValue = procedure(context: Pointer; value: Int32); stdcall;
  TGetProgressValue = function(context: Pointer): Int32; stdcall;
  PProgressSink = ^TProgressSink;
  TProgressSink = record
    context: Pointer;
    setMinimum: TSetProgressValue;
    setMaximum: TSetProgressValue;
    getPosition: TGetProgressValue;
    setPosition: TSetProgressValue;
  end;

{ Names and results are passed by reference, as const and var ShortString parameters are. }

function DUDO66413_checkCRC32inFile(const fileName: ShortString; sink: PProgressSink): Int32;
  stdcall; external KorvalelibName;
function DUDO66413_setCRC32inFile(const fileName: ShortString; sink: PProgressSink): Int32;
  stdcall; external KorvalelibName;
{ The sink is accepted and never called. }
function DUDO66413_resetCRC32inFile(const fileName: ShortString; sink: PProgressSink): Int32;
  stdcall; external KorvalelibName;

function DUDO66413_getInfoErrorCode: Int32; stdcall; external KorvalelibName;
procedure DUDO66413_getInfoErrorString(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_getInfoCRC32(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_getInfoCommandFile(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_getInfoHeader(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_reset; stdcall; external KorvalelibName;

procedure DUDO66413_getFailSafeCRC32(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_getVersion(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_getFullName(var result: ShortString); stdcall; external KorvalelibName;
procedure DUDO66413_getShortName(var result: ShortString); stdcall; external KorvalelibName;

implementation

end.
