// One script client, as script_client.vbs in JScript: creates an object, calls METHOD once, prints
// the call's time or its error, releases the object and prints RELEASED.
// Usage: cscript //nologo script_client.js [PROGID [METHOD]]
var progId = WScript.Arguments.length > 0 ? WScript.Arguments(0) : "QDSERVER.DEMO";
var method = WScript.Arguments.length > 1 ? WScript.Arguments(1) : "Test";
function hex(n) { return (n >>> 0).toString(16).toUpperCase(); }
var o = null;
try {
    o = new ActiveXObject(progId);
} catch (e) {
    WScript.Echo("create failed: 0x" + hex(e.number) + " " + e.description);
}
if (o !== null) {
    var t0 = new Date().getTime();
    try {
        if (method === "Add")
            o.Add(1, 2);
        else
            o.Test();
        WScript.Echo(method + " " + (new Date().getTime() - t0) + " ms");
    } catch (e) {
        WScript.Echo(method + " failed: 0x" + hex(e.number) + " " + e.description);
    }
}
o = null;
CollectGarbage();
WScript.Echo("RELEASED");
