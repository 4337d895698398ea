' Example VBScript for the Windows script host (cscript //nologo example.vbs):
' the members of Vellix.Office that need no window.
Option Explicit
Dim office, barcode, fso
Set office = CreateObject("Vellix.Office")
WScript.Echo "Vellix version " & office.Version

' Settings other programs read from HKEY_CURRENT_USER.
office.SetUpdateInfo "192.168.0.10", "8080", "C:\update\update.xml"
office.SetServerInfo "TCP", "server.example", "9000"
office.AutoUpdate = True

' A Code 39 barcode and a file type's icon as bitmap files.
barcode = office.CreateBarCode("VELLIX-2026")
WScript.Echo "barcode bitmap: " & barcode
WScript.Echo "icon of .txt files: " & office.GetShellIcon("notes.txt")

' A FileSystemObject for the script.
Set fso = office.GetFileSystemObject()
WScript.Echo "the barcode file exists: " & fso.FileExists(barcode)
fso.DeleteFile barcode

' A failing member raises an error: Err.Number is its HRESULT,
' Err.Description says what failed and on which file, Err.Source is the
' control's ProgID.
On Error Resume Next
office.Open "C:\no-such-folder\report.doc"
If Err.Number <> 0 Then
    WScript.Echo "Open failed: 0x" & Hex(Err.Number) & " " & Err.Description & " (" & Err.Source & ")"
End If
Err.Clear
On Error GoTo 0
