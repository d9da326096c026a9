{ dll_client.pas: stamps a data file's CRC through Korvalelib and checks it again, showing
  progress, as examples/dll_client.c does. Build: fpc dll_client.pas (Free Pascal) or
  dcc32 dll_client.pas (Delphi), then run beside Korvalelib.dll: dll_client FILE }
program dll_client;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}
{$IFDEF MSWINDOWS}{$APPTYPE CONSOLE}{$ENDIF}

uses korvalelib;

type
  { A progress indicator that prints a dot for every tenth of the file. }
  TDots = record
    maximum, position, shown: Int32;
  end;
  PDots = ^TDots;

procedure SetMinimum(context: Pointer; value: Int32); stdcall;
begin
end;

procedure SetMaximum(context: Pointer; value: Int32); stdcall;
begin
  PDots(context)^.maximum := value;
end;

function GetPosition(context: Pointer): Int32; stdcall;
begin
  Result := PDots(context)^.position;
end;

procedure SetPosition(context: Pointer; value: Int32); stdcall;
var
  dots: PDots;
begin
  dots := PDots(context);
  dots^.position := value;
  while (dots^.maximum > 0) and (dots^.shown < 10) and
    (Int64(value) * 10 >= Int64(dots^.maximum) * (dots^.shown + 1)) do
  begin
    Write('.');
    Inc(dots^.shown);
  end;
end;

var
  name, text: ShortString;
  dots: TDots;
  sink: TProgressSink;
  code: Int32;
begin
  if ParamCount <> 1 then
  begin
    WriteLn(ErrOutput, 'usage: dll_client FILE');
    Halt(2);
  end;
  name := ParamStr(1);
  if DUDO66413_setCRC32inFile(name, nil) <> 0 then
  begin
    DUDO66413_getInfoErrorString(text);
    Write('set failed: ', text, #10);
    Halt(1);
  end;
  DUDO66413_getInfoCRC32(text);
  Write('stamped ', text, #10);

  dots.maximum := 0;
  dots.position := 0;
  dots.shown := 0;
  sink.context := @dots;
  sink.setMinimum := SetMinimum;
  sink.setMaximum := SetMaximum;
  sink.getPosition := GetPosition;
  sink.setPosition := SetPosition;
  code := DUDO66413_checkCRC32inFile(name, @sink);
  DUDO66413_getInfoErrorString(text);
  Write(#10, 'check: ', text, #10);
  if code <> 0 then
    Halt(1);
end.
