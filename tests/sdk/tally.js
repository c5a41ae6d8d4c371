// A script client of QDTALLY.TALLY: its methods (one void), its property both ways, its event
// through the OnChanged callback, which is called while the script waits in Add, and an overflow,
// which the server throws and the script catches with its number and description.
var o = new ActiveXObject("QDTALLY.TALLY");
var heard = [];
o.OnChanged = function (nTotal) { heard.push(nTotal); };
o.Add(2);
o.Add(3);
o.Total = 10;
var last = o.Add(1);
o.OnChanged = null;
var total = o.Total;
o.Reset();
var reset = o.Total;
var overflow = "none";
try {
    o.Add(2147483647);
    o.Add(1);
} catch (e) {
    overflow = (e.number >>> 0).toString(16) + (e.description ? " described" : " undescribed");
}
WScript.Echo("Add " + last + ", Total " + total + ", reset " + reset + ", heard " + heard.join(",") + ", overflow " + overflow);
