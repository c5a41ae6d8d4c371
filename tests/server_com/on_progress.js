// A script client of QDSERVER.DEMO: it hands the object a function as its OnProgress callback, and
// counts the steps that reach it while it waits in "Test"; once cleared, a second "Test" is not heard.
var o = new ActiveXObject("QDSERVER.DEMO");
var steps = [];
o.OnProgress = function (nStep) { steps.push(nStep); };
o.Test();
o.OnProgress = null;
o.Test();
o = null;
WScript.Echo("steps: " + steps.join(","));
