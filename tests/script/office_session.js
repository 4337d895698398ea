// A script-host session with the members that need no window.
function hex(n) { return (n >>> 0).toString(16); }
function show(label, f) {
    try {
        var r = f();
        WScript.Echo(label + ": " + (r === undefined ? "ok" : r));
    } catch (e) {
        WScript.Echo(label + ": " + hex(e.number));
    }
}
var office = new ActiveXObject("Vellix.Office");
show("Version", function () { return office.Version; });
show("SetUpdateInfo", function () { return office.SetUpdateInfo("10.0.0.1", "80", "C:\\u.xml"); });
show("AutoUpdate", function () { office.AutoUpdate = true; });
var code = "";
show("CreateBarCode", function () { code = office.CreateBarCode("VX-42"); return code.length > 0; });
var fso = office.GetFileSystemObject();
show("barcode file", function () { return fso.FileExists(code); });
show("GetWindow", function () { return typeof office.GetWindow("Scripting.Dictionary"); });
show("ExtObject", function () { return office.ExtObject; });
show("ActiveDocument", function () { return office.ActiveDocument; });
show("Saved", function () { return office.Saved; });
show("Close", function () { return office.Close(); });
show("DeleteFile", function () { return office.DeleteFile(code); });
show("after delete", function () { return fso.FileExists(code); });
