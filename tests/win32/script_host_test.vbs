' Drives both classes as a script does: CreateObject by ProgID and late
' binding through their default interfaces. The runner checks the echoed
' lines, the addresses the shell received and the closing sentinel (a
' script error ends the script silently, without the sentinel).
'   cscript //nologo script_host_test.vbs STOCK-LIST ACTION-TABLE
Option Explicit

Dim recognizer, action, result, stockList, actionTable
stockList = WScript.Arguments(0)
actionTable = WScript.Arguments(1)

Set recognizer = CreateObject("VarnokeST.STRecognizer")
Set action = CreateObject("VarnokeST.STAction")
WScript.Echo "created:" & TypeName(recognizer) & "," & TypeName(action)

' By value and by reference (a variable), as scripts pass paths.
result = recognizer.LoadStockSymbolFromXMLFile("" & stockList)
WScript.Echo "stock-load-literal:" & TypeName(result)
result = recognizer.LoadStockSymbolFromXMLFile(stockList)
WScript.Echo "stock-load-variable:" & TypeName(result)
recognizer.ISmartTagRecognizer_Recognize "1101 2330", 8, 1033, Nothing
WScript.Echo "recognize-without-site:done"

' The host members are not on the default interface.
On Error Resume Next
result = recognizer.ProgId
WScript.Echo "recognizer-progid-error:" & Err.Number
Err.Clear
result = action.VerbCount("urn:schemas-varnoke:smarttags#varnoke")
WScript.Echo "action-verbcount-error:" & Err.Number
Err.Clear
On Error GoTo 0

' Verb 1 without a property bag opens its base address: first the shipped
' table's, then the one loaded here.
action.ISmartTagAction_InvokeVerb 1, "Word", Nothing, Nothing, "", ""
result = action.LoadActionURLFromXMLFile(actionTable)
WScript.Echo "action-load:" & TypeName(result)
action.ISmartTagAction_InvokeVerb 1, "Word", Nothing, Nothing, "", ""
action.ISmartTagAction_InvokeVerb 7, "Word", Nothing, Nothing, "", ""
WScript.Echo "invoked:done"

Set recognizer = Nothing
Set action = Nothing
WScript.Echo "SENTINEL-OK"
WScript.Quit 0
