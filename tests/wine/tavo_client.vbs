' A script host as an automation client of the control: a whole game by method calls,
' INFO and the file properties read back. Ends with a sentinel line and the number of
' failures as exit code, since the script host hides its own errors.
Option Explicit
Dim failures, ctl, info, i, dir
failures = 0

Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok: " & what
  Else
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

Set ctl = CreateObject("TAVO.TavoCtrl.1")
Check IsObject(ctl), "CreateObject"
dir = ctl.WorkDirectory
Check Len(dir) > 0, "WorkDirectory is " & dir
Check ctl.SummaryFile = dir & "\summary.txt", "SummaryFile is " & ctl.SummaryFile
Check ctl.ResultFile = dir & "\kekka.txt", "ResultFile is " & ctl.ResultFile
ctl.WorkDirectory = "C:\elsewhere"
ctl.SummaryFile = "x"
Check ctl.WorkDirectory = dir, "a put of WorkDirectory is ignored"
Check ctl.SummaryFile = dir & "\summary.txt", "a put of SummaryFile is ignored"
Check ctl.INFO = 0, "INFO before any summary is 0"
ctl.Init
ctl.Goo
Check ctl.INFO = 0, "Goo before Start sends nothing"
ctl.Start
info = ctl.INFO
Check info = 0, "INFO after Start is 0"
For i = 1 To 10
  ctl.Goo
  ctl.Choki
  ctl.Pah
Next
info = ctl.INFO
Check info = 2, "INFO after the hand that ends the game is 2, not " & info
ctl.End
ctl.Master
ctl.End
WScript.Echo "sentinel: script ran to the end"
WScript.Quit failures
