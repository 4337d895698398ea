// Late-bound use of the control from a script host, by ProgID.
var office = new ActiveXObject("Vellix.Office");
WScript.Echo("office: " + typeof office);
var site = new ActiveXObject("Vellix.DocObject.1");
WScript.Echo("site: " + typeof site);
try {
    office.Close();
    WScript.Echo("Close: ok");
} catch (e) {
    WScript.Echo("Close: " + (e.number >>> 0).toString(16));
}
try {
    office.NoSuchMember();
} catch (e) {
    WScript.Echo("NoSuchMember: " + (e.number >>> 0).toString(16));
}
office = null;
site = null;
CollectGarbage();
WScript.Echo("done");
