; Registers each DLL with the regsvr32 of its own bitness, so that hosts of
; that bitness find it: the installer is a 32-bit program, so the x64 DLL
; goes through the real System32 (file-system redirection off) and the x86
; one through the redirected System32 (SysWOW64), which writes the 32-bit
; registry view.
!ifndef Q7K_REGISTRATION_NSH
!define Q7K_REGISTRATION_NSH
!include LogicLib.nsh
!include x64.nsh

; $0 = regsvr32's exit code, or "error" when it could not be started.
!macro Q7kRegsvr32 Flags Dll
  StrCpy $0 "error"
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s ${Flags} "${Dll}"' $0
!macroend

; On 32-bit Windows the x64 DLL is installed but cannot be loaded, so it is
; neither registered nor unregistered there.
!macro Q7kRegsvr32Both Flags
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
    !insertmacro Q7kRegsvr32 "${Flags}" "$INSTDIR\x64\q7kcomm.dll"
    ${EnableX64FSRedirection}
    StrCpy $1 $0
  ${Else}
    StrCpy $1 0
  ${EndIf}
  !insertmacro Q7kRegsvr32 "${Flags}" "$INSTDIR\x86\q7kcomm.dll"
!macroend

; A failed registration fails the installation (exit code 2 with /S).
!macro Q7kRegister
  !insertmacro Q7kRegsvr32Both ""
  ${If} $1 != 0
  ${OrIf} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP \
      "Registering q7kcomm.dll failed (x64: $1, x86: $0)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

; Unregistering goes on to remove the files whatever regsvr32 answers.
!macro Q7kUnregister
  !insertmacro Q7kRegsvr32Both "/u"
  DetailPrint "Unregistered q7kcomm.dll (x64: $1, x86: $0)"
!macroend

; The uninstaller removes the key that holds the install location but not
; the vendor's key above it.
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX "Software\@CPACK_PACKAGE_VENDOR@"
FunctionEnd
!endif
