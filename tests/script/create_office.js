// Late-bound use of the control from a script host, by ProgID.
var office = new ActiveXObject("Vellix.Office");
WScript.Echo("office: " + typeof office);
var site = new ActiveXObject("Vellix.DocObject.1");
WScript.Echo("site: " + typeof site);
function tryCall(label, f) {
    try {
        var r = f();
        WScript.Echo(label + ": " + (r === undefined ? "ok" : r));
    } catch (e) {
        WScript.Echo(label + ": " + (e.number >>> 0).toString(16));
    }
}
tryCall("HWnd", function () { return office.HWnd; });
tryCall("Close", function () { return office.Close(); });
tryCall("Close again", function () { return office.Close(); });
tryCall("EnableWindow", function () { return office.EnableWindow(false); });
try {
    office.NoSuchMember();
} catch (e) {
    WScript.Echo("NoSuchMember: " + (e.number >>> 0).toString(16));
}
office = null;
site = null;
CollectGarbage();
WScript.Echo("done");
