' A script host drives the component by name. cscript ends with 0 even when
' a script stops on an error, so the verdict is the last line printed.
Option Explicit
Dim q7, failures
failures = 0

Sub Check(ok, what)
  If Not ok Then
    failures = failures + 1
    WScript.Echo "FAILED: " & what
  End If
End Sub

Set q7 = CreateObject("Veltrax.Q7kComm")
Check q7.Version = "1.00.15", "Version " & q7.Version
q7.SimulMode = 2
q7.SimulFast = 1
Check q7.SimulMode = 2, "SimulMode"
q7.GainCoeffs(3) = 1.5
Check q7.GainCoeffs(3) = 1.5, "GainCoeffs"
q7.OpenPort 3, 5
Check q7.IsPortOpen = 1, "IsPortOpen"
q7.ClosePort
q7.SimulMode = 0

On Error Resume Next
q7.OpenPort 250, 0
Check Err.Number = &H80004005, "OpenPort failure " & Hex(Err.Number)
Check Err.Description = "COM port not found", "text " & Err.Description
Check Err.Source = "Veltrax.Q7kComm.1", "source " & Err.Source
Err.Clear
q7.StartQ7kTest Nothing
Check Err.Number <> 0, "records stay early-bound"
On Error GoTo 0

Check q7.ErrorCode <> 0, "ErrorCode"
Set q7 = Nothing
If failures = 0 Then WScript.Echo "automation: all checks passed"
