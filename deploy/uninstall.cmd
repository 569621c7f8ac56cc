@echo off
rem Uninstall command for a deployment tool, run from the package content.
rem Runs keysetup's uninstall, then the package's own keycheck.exe (the kept
rem copy may be gone) and exits as deployment tools read it:
rem
rem   keycheck   exit  meaning
rem   1          0     uninstalled; the kept keycheck.exe and its folder go
rem   5          3010  a restart finishes the removal; keycheck.exe is kept
rem   0 2 3 6 7  1603  the key's install is still there (another keysetup
rem   11               was running, or the uninstall failed); keycheck.exe
rem                    is kept
rem   4          4     leftovers: Windows keeps a stored copy until the
rem                    uninstall runs again after a restart
rem   other      same  failed (9: cannot check)
rem
rem Each run appends to %WINDIR%\Logs\Software\VORevizeRidarorar-deploy.log
rem (one previous file kept as .old): a header, keycheck's report and the
rem exit code. A log that cannot be written changes no exit code.
setlocal
set "script=%~nx0"
set "content=%~dp0"
set "dest=%ProgramFiles%\VORevizeRidarorar"
if defined ProgramFiles(x86) set "dest=%ProgramFiles(x86)%\VORevizeRidarorar"
call :open_log
start "" /wait "%content%keysetup.exe" uninstall
set code=9
if not exist "%content%keycheck.exe" goto checked
"%content%keycheck.exe" /q
set code=%errorlevel%
:checked
set "result=%code%"
set "meaning=failed, keycheck %code%"
call :map 1 0 "uninstalled"
call :map 5 3010 "a restart finishes the removal"
call :map 0 1603 "still installed: the uninstall did nothing"
call :map 2 1603 "still partly installed: the uninstall did not finish"
call :map 3 1603 "still installed: the uninstall did nothing"
call :map 6 1603 "another version still installed"
call :map 7 1603 "still installed: the uninstall did nothing"
call :map 11 1603 "a newer version still installed: the uninstall did nothing"
call :map 4 4 "leftovers: run the uninstall again after a restart"
call :close_log "%content%keycheck.exe"
if not "%result%"=="0" exit /b %result%
del /f /q "%dest%\keycheck.exe" >nul 2>&1
rmdir "%dest%" >nul 2>&1
exit /b 0

:map
if "%code%"=="%~1" set "result=%~2"
if "%code%"=="%~1" set "meaning=%~3"
goto :eof

rem The log: kept under 1 MiB, less the room of one run's entry.
:open_log
set "logdir=%WINDIR%\Logs\Software"
set "log=%logdir%\VORevizeRidarorar-deploy.log"
set size=0
set "version=unknown"
if not exist "%logdir%\" mkdir "%logdir%" >nul 2>&1
if exist "%log%" for %%F in ("%log%") do set "size=%%~zF"
if %size% GEQ 983040 move /y "%log%" "%log%.old" >nul 2>&1
set "KEYSETUP_FILE=%content%keysetup.exe"
rem No blank in this path: cmd /c, which runs the command, strips a leading quote.
set "powershell=%SystemRoot%\System32\WindowsPowerShell\v1.0\powershell.exe"
if exist "%powershell%" for /f "usebackq delims=" %%V in (`%powershell% -NoProfile -NonInteractive -Command "(Get-Item -LiteralPath $env:KEYSETUP_FILE).VersionInfo.FileVersion" 2^>nul`) do set "version=%%V"
>>"%log%" echo %DATE% %TIME% %script% from %content%, keysetup.exe version %version%
goto :eof

rem keycheck's report, without /q and with its output redirected, so that
rem it never waits for Enter; its own exit code is not used.
:close_log
if exist "%~1" "%~1" /log >>"%log%" 2>&1
>>"%log%" echo exit: %result% %meaning%
goto :eof
