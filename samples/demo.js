// Vellix demo: creates the control by ProgID and shows what it reports.
// Run with: cscript //nologo demo.js
function hex(n) { return "0x" + (n >>> 0).toString(16).toUpperCase(); }
function tryCall(label, f) {
    try {
        var r = f();
        WScript.Echo(label + ": " + (r === undefined ? "ok" : r));
    } catch (e) {
        WScript.Echo(label + ": " + hex(e.number) + (e.description ? " " + e.description : ""));
    }
}

var shell = new ActiveXObject("WScript.Shell");
var clsid = shell.RegRead("HKCR\\Vellix.Office\\CLSID\\");
WScript.Echo("Vellix.Office -> " + clsid + " (current version " +
             shell.RegRead("HKCR\\Vellix.Office\\CurVer\\") + ")");
WScript.Echo("server: " + shell.RegRead("HKCR\\CLSID\\" + clsid + "\\InprocServer32\\"));

var office = new ActiveXObject("Vellix.Office");
WScript.Echo("created Vellix.Office: " + typeof office);
tryCall("Version", function () { return office.Version; });
tryCall("HWnd", function () { return office.HWnd; });
tryCall("Close", function () { return office.Close(); });
office = null;
CollectGarbage();
WScript.Echo("released");
