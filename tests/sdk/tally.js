// A script client of QDTALLY.TALLY: its methods (one void), its property both ways, and its event
// through the OnChanged callback, which is called while the script waits in Add.
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
WScript.Echo("Add " + last + ", Total " + total + ", reset " + o.Total + ", heard " + heard.join(","));
