Attribute VB_Name = "Korvalelib"
' Korvalelib's functions for VBA (Excel, Access, Word): import this module, and keep
' Korvalelib.dll of the Office's own width (64-bit Office: the x64 DLL) beside the document's
' host program, on PATH, or name its full path in the Lib clauses. Declare PtrSafe needs
' VBA 7 (Office 2010 or later), 32-bit or 64-bit.
'
' Texts cross the interface as a counted string: a length byte and 255 bytes in the system's
' ANSI code page. ToCounted and FromCounted convert. The file operations return the codes of
' korvalelib.h: 0 OK, 1 and 2 a stamp that is empty or differs, 11 to 13 no usable field,
' 21 cannot open, 22 too short. Pass 0 as the progress sink.
Option Explicit

Public Type CountedString
    Length As Byte
    Text(0 To 254) As Byte
End Type

Public Declare PtrSafe Function DUDO66413_checkCRC32inFile Lib "Korvalelib.dll" _
    (ByRef fileName As CountedString, ByVal sink As LongPtr) As Long
Public Declare PtrSafe Function DUDO66413_setCRC32inFile Lib "Korvalelib.dll" _
    (ByRef fileName As CountedString, ByVal sink As LongPtr) As Long
Public Declare PtrSafe Function DUDO66413_resetCRC32inFile Lib "Korvalelib.dll" _
    (ByRef fileName As CountedString, ByVal sink As LongPtr) As Long

Public Declare PtrSafe Function DUDO66413_getInfoErrorCode Lib "Korvalelib.dll" () As Long
Public Declare PtrSafe Sub DUDO66413_getInfoErrorString Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_getInfoCRC32 Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_getInfoCommandFile Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_getInfoHeader Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_reset Lib "Korvalelib.dll" ()

Public Declare PtrSafe Sub DUDO66413_getFailSafeCRC32 Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_getVersion Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_getFullName Lib "Korvalelib.dll" _
    (ByRef result As CountedString)
Public Declare PtrSafe Sub DUDO66413_getShortName Lib "Korvalelib.dll" _
    (ByRef result As CountedString)

' A name in the ANSI code page. A name longer than 255 bytes is refused (error 5) rather than
' cut, which would name another file.
Public Function ToCounted(ByVal text As String) As CountedString
    Dim bytes() As Byte, i As Long
    bytes = StrConv(text, vbFromUnicode)
    If UBound(bytes) > 254 Then Err.Raise 5, "Korvalelib", "longer than 255 bytes: " & text
    ToCounted.Length = UBound(bytes) + 1
    For i = 0 To UBound(bytes)
        ToCounted.Text(i) = bytes(i)
    Next i
End Function

Public Function FromCounted(ByRef value As CountedString) As String
    Dim bytes() As Byte, i As Long
    If value.Length = 0 Then Exit Function
    ReDim bytes(0 To value.Length - 1)
    For i = 0 To value.Length - 1
        bytes(i) = value.Text(i)
    Next i
    FromCounted = StrConv(bytes, vbUnicode)
End Function

' An example: the outcome of checking one file, as "0xB50E504C OK".
Public Function CheckFile(ByVal path As String) As String
    Dim name As CountedString, crc As CountedString, message As CountedString
    name = ToCounted(path)
    DUDO66413_checkCRC32inFile name, 0
    DUDO66413_getInfoCRC32 crc
    DUDO66413_getInfoErrorString message
    CheckFile = FromCounted(crc) & " " & FromCounted(message)
End Function
