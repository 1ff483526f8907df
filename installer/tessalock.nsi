; Tessalock's installer: per user, no administrator rights. It puts
; Tessalock.exe and its uninstaller into %LOCALAPPDATA%\Programs\Tessalock,
; adds a Start-menu shortcut, associates .lock files with Tessalock (open runs
; -dec "%1", the icon is the program's container icon), adds "Lock with
; Tessalock" to the context menu of files and folders (it runs -gather "%1" once
; per selected item; the program gathers the items of one selection), and
; registers the uninstaller in "Apps & features".
;
; The uninstaller removes what the installer added and nothing else: it
; deletes a key that already existed before only when it is ours, gives .lock
; back to the program it belonged to before, and removes a parent key or
; folder only when the installer created it and it is empty again. While
; Tessalock runs it removes nothing: it asks the user to close the program,
; and fails (exit code 2) when the user cancels, or in a silent run.
;
; Built by CMake (see installer/CMakeLists.txt) with:
;   makensis -DARCH=x86|amd64 -DPROGRAM=<Tessalock.exe> -DOUTFILE=<setup.exe>
;            -DSOURCE=<source folder> -DVERSION=<1.3.0> tessalock.nsi
; The release carries the 32-bit program in a 32-bit installer; the tests use
; the same script with the 64-bit program in a 64-bit installer.

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "Tessalock"
!define PROGID "Tessalock.Container"
!define VERB "Tessalock.Lock"
!define CLASSES "Software\Classes"
!define UNINSTALL_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_PARENT}\Tessalock"
; Resource id of the container icon in Tessalock.exe.
!define CONTAINER_ICON "-207"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tessalock"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 the Tessalock authors"

!include LogicLib.nsh
!include MUI2.nsh

!define MUI_ICON "${SOURCE}\resources\app.ico"
!define MUI_UNICON "${SOURCE}\resources\app.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tessalock.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Tessalock"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Notes in the uninstall key that KEY (below HKCU) did not exist yet, so the
; uninstaller may remove it once it is empty again.
!macro NoteNewKey KEY NOTE
    ClearErrors
    EnumRegKey $0 HKCU "${KEY}" 0
    ${If} ${Errors}
        WriteRegDWORD HKCU "${UNINSTALL_KEY}" "${NOTE}" 1
    ${EndIf}
!macroend

!macro RemoveNewKey KEY NOTE
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "${NOTE}"
    ${If} $0 == 1
        DeleteRegKey /ifempty HKCU "${KEY}"
    ${EndIf}
!macroend

!macro AddVerb CLASS
    WriteRegStr HKCU "${CLASSES}\${CLASS}\shell\${VERB}" "" "Lock with Tessalock"
    WriteRegStr HKCU "${CLASSES}\${CLASS}\shell\${VERB}" "Icon" '"$INSTDIR\Tessalock.exe",0'
    ; Up to 100 selected items, one process each (gathered by the program).
    WriteRegStr HKCU "${CLASSES}\${CLASS}\shell\${VERB}" "MultiSelectModel" "Player"
    WriteRegStr HKCU "${CLASSES}\${CLASS}\shell\${VERB}\command" "" '"$INSTDIR\Tessalock.exe" -gather "%1"'
!macroend

; SHCNE_ASSOCCHANGED: Explorer reads the associations again.
!macro NotifyAssociationsChanged
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

Section "Tessalock"
    SetShellVarContext current

    ; Parent keys and the Programs folder that exist only because of us. The
    ; uninstall key's own parent goes first: the notes are written below it.
    !insertmacro NoteNewKey "${UNINSTALL_PARENT}" "Created Uninstall"
    !insertmacro NoteNewKey "${CLASSES}\.lock" "Created .lock"
    !insertmacro NoteNewKey "${CLASSES}\.lock\OpenWithProgids" "Created .lock\OpenWithProgids"
    !insertmacro NoteNewKey "${CLASSES}\*" "Created *"
    !insertmacro NoteNewKey "${CLASSES}\*\shell" "Created *\shell"
    !insertmacro NoteNewKey "${CLASSES}\Directory" "Created Directory"
    !insertmacro NoteNewKey "${CLASSES}\Directory\shell" "Created Directory\shell"
    ${IfNot} ${FileExists} "$LOCALAPPDATA\Programs\*.*"
        WriteRegDWORD HKCU "${UNINSTALL_KEY}" "Created Programs folder" 1
    ${EndIf}

    SetOutPath "$INSTDIR"
    File "/oname=Tessalock.exe" "${PROGRAM}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Tessalock.lnk" "$INSTDIR\Tessalock.exe" "" \
        "$INSTDIR\Tessalock.exe" 0 SW_SHOWNORMAL "" "Lock files and folders with a password"

    ; .lock opens with Tessalock; a program that had it before gets it back
    ; when Tessalock is uninstalled.
    ReadRegStr $0 HKCU "${CLASSES}\.lock" ""
    ${If} $0 != ""
    ${AndIf} $0 != "${PROGID}"
        WriteRegStr HKCU "${UNINSTALL_KEY}" "Previous .lock" $0
    ${EndIf}
    WriteRegStr HKCU "${CLASSES}\.lock" "" "${PROGID}"
    WriteRegStr HKCU "${CLASSES}\.lock\OpenWithProgids" "${PROGID}" ""
    WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Tessalock container"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\Tessalock.exe",${CONTAINER_ICON}'
    WriteRegStr HKCU "${CLASSES}\${PROGID}\shell" "" "open"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\Tessalock.exe" -dec "%1"'

    !insertmacro AddVerb "*"
    !insertmacro AddVerb "Directory"

    ; "Apps & features" (and "Programs and Features" on Windows 7).
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Tessalock.exe",0'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}

    !insertmacro NotifyAssociationsChanged
SectionEnd

Section "Uninstall"
    SetShellVarContext current

    ; A running Tessalock.exe cannot be deleted. It goes first, so that
    ; nothing else is removed (the entry in "Apps & features" included) while
    ; it stays.
    ${Do}
        Delete "$INSTDIR\Tessalock.exe"
        ${IfNot} ${FileExists} "$INSTDIR\Tessalock.exe"
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "Tessalock is running. Close it, then choose Retry.$\n$\nCancel leaves Tessalock installed." \
            /SD IDCANCEL IDRETRY tryAgain
        Abort "Tessalock is running; nothing was removed."
        tryAgain:
    ${Loop}

    Delete "$SMPROGRAMS\Tessalock.lnk"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    DeleteRegKey HKCU "${CLASSES}\${PROGID}"
    ReadRegStr $0 HKCU "${CLASSES}\.lock" ""
    ${If} $0 == "${PROGID}"
        ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "Previous .lock"
        ${If} $1 != ""
            WriteRegStr HKCU "${CLASSES}\.lock" "" $1
        ${Else}
            DeleteRegValue HKCU "${CLASSES}\.lock" ""
        ${EndIf}
    ${EndIf}
    DeleteRegValue HKCU "${CLASSES}\.lock\OpenWithProgids" "${PROGID}"
    DeleteRegKey HKCU "${CLASSES}\*\shell\${VERB}"
    DeleteRegKey HKCU "${CLASSES}\Directory\shell\${VERB}"

    ; Children before parents.
    !insertmacro RemoveNewKey "${CLASSES}\.lock\OpenWithProgids" "Created .lock\OpenWithProgids"
    !insertmacro RemoveNewKey "${CLASSES}\.lock" "Created .lock"
    !insertmacro RemoveNewKey "${CLASSES}\*\shell" "Created *\shell"
    !insertmacro RemoveNewKey "${CLASSES}\*" "Created *"
    !insertmacro RemoveNewKey "${CLASSES}\Directory\shell" "Created Directory\shell"
    !insertmacro RemoveNewKey "${CLASSES}\Directory" "Created Directory"
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "Created Programs folder"
    ${If} $0 == 1
        RMDir "$LOCALAPPDATA\Programs"
    ${EndIf}

    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "Created Uninstall"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${If} $0 == 1
        DeleteRegKey /ifempty HKCU "${UNINSTALL_PARENT}"
    ${EndIf}
    !insertmacro NotifyAssociationsChanged
SectionEnd
