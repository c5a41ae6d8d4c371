// Creates, calls and releases QDSAMPLE.COUNTER objects for the given seconds; prints how many were
// created and how many creations or calls failed. Wine's script host can end silently with exit 0 on
// an uncaught error, so every failure is caught and counted.
var seconds = WScript.Arguments.length > 0 ? parseInt(WScript.Arguments(0), 10) : 20;
var end = new Date().getTime() + seconds * 1000;
var created = 0, failedCreations = 0, failedCalls = 0, firstError = "";
while (new Date().getTime() < end) {
    var o = null;
    try {
        o = new ActiveXObject("QDSAMPLE.COUNTER");
        ++created;
    } catch (e) {
        ++failedCreations;
        if (firstError === "")
            firstError = (e.number >>> 0).toString(16);
        continue;
    }
    try {
        o.Add(1, 2);
    } catch (e) {
        ++failedCalls;
    }
    o = null;
    CollectGarbage();
}
WScript.Echo("created " + created + " failed " + failedCreations + " calls-failed " + failedCalls +
             (firstError === "" ? "" : " first-error 0x" + firstError));
