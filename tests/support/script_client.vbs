' One script client: creates an object (PROGID, QDSERVER.DEMO by default), calls METHOD once ("Test",
' or "Add" for QDSAMPLE.COUNTER), prints the call's time or its error, releases the object and
' prints RELEASED. Every error is caught: RELEASED must come whatever the call did.
' Usage: cscript //nologo script_client.vbs [PROGID [METHOD]]
On Error Resume Next
Dim progId, method, o, t0
progId = "QDSERVER.DEMO"
method = "Test"
If WScript.Arguments.Count > 0 Then progId = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then method = WScript.Arguments(1)
Set o = CreateObject(progId)
If Err.Number <> 0 Then
    WScript.Echo "create failed: 0x" & Hex(Err.Number) & " " & Err.Description
    Err.Clear
Else
    t0 = Timer
    If method = "Add" Then
        o.Add 1, 2
    Else
        o.Test
    End If
    If Err.Number <> 0 Then
        WScript.Echo method & " failed: 0x" & Hex(Err.Number) & " " & Err.Description
        Err.Clear
    Else
        WScript.Echo method & " " & CLng((Timer - t0) * 1000) & " ms"
    End If
End If
Set o = Nothing
WScript.Echo "RELEASED"
