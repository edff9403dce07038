  ; Removing Tracewell while a source is attached would leave that source hidden behind a traced
  ; instance whose adapter is gone: the uninstaller asks the command and stops while it lists any.
  nsExec::ExecToStack '"$INSTDIR\bin\tracewell.exe" status'
  Pop $0
  Pop $1
  StrCmp $0 "0" 0 tracewell_status_unknown
  Push $1
  Push "No data source is attached."
  Call un.StrStr
  Pop $2
  StrCmp $2 "" 0 tracewell_nothing_attached
  MessageBox MB_OK|MB_ICONSTOP "Tracewell still traces data sources. Detach each one first (tracewell detach SOURCE.ds), then uninstall again.$\r$\n$\r$\n$1" /SD IDOK
  DetailPrint "Tracewell still traces data sources; detach each one first (tracewell detach SOURCE.ds):"
  DetailPrint "$1"
  SetErrorLevel 3
  Quit
  tracewell_status_unknown:
  DetailPrint "tracewell status did not run ($0); nothing tells of attached sources"
  tracewell_nothing_attached:
