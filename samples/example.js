// Example JScript for the Windows script host (cscript //nologo example.js):
// the members of Vellix.Office that need no window.
var office = new ActiveXObject("Vellix.Office");
WScript.Echo("Vellix version " + office.Version);

// Settings other programs read from HKEY_CURRENT_USER.
office.SetUpdateInfo("192.168.0.10", "8080", "C:\\update\\update.xml");
office.SetServerInfo("TCP", "server.example", "9000");
office.AutoUpdate = true;

// A Code 39 barcode and a file type's icon as bitmap files.
var barcode = office.CreateBarCode("VELLIX-2026");
WScript.Echo("barcode bitmap: " + barcode);
WScript.Echo("icon of .txt files: " + office.GetShellIcon("notes.txt"));

// A FileSystemObject for the script.
var fso = office.GetFileSystemObject();
WScript.Echo("the barcode file exists: " + fso.FileExists(barcode));
fso.DeleteFile(barcode);

// A failing member throws: e.number is its HRESULT, e.message says what
// failed and on which file.
try {
    office.Open("C:\\no-such-folder\\report.doc");
} catch (e) {
    WScript.Echo("Open failed: 0x" + (e.number >>> 0).toString(16).toUpperCase() + " " + e.message);
}
