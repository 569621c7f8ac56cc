@echo off
rem Install command for a deployment tool (Intune Win32 app, Configuration
rem Manager script installer), run from the package content beside
rem keysetup.exe and keycheck.exe. First asks the package's keycheck.exe:
rem when a newer version of the key's driver is installed (11), it runs no
rem keysetup, so that an older release never replaces a newer driver, and
rem exits 0. Otherwise installs the key's driver package, keeps
rem keycheck.exe in a fixed folder (detect.ps1, uploaded alone, runs it
rem there; a newer driver keeps the copy there, only a missing one is
rem added), waits until the install keysetup started has ended and exits
rem with keycheck's verdict as deployment tools read it:
rem
rem   keycheck  exit  meaning
rem   0         0     installed
rem   3         0     installed; a plugged key gets the driver when replugged
rem   5         3010  installed; a restart finishes it
rem   10        1618  the install is still running; retry later
rem   11        0     a newer version is installed; keysetup.exe not run
rem   other     same  failed (keycheck's code; 7: the key's driver is
rem                   installed but the key does not work)
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
set "report=%dest%\keycheck.exe"
set before=9
if exist "%content%keycheck.exe" "%content%keycheck.exe" /q
if exist "%content%keycheck.exe" set before=%errorlevel%
if "%before%"=="11" goto newer
start "" /wait "%content%keysetup.exe"
if not exist "%dest%\" mkdir "%dest%"
copy /y "%content%keycheck.exe" "%dest%\keycheck.exe" >nul
set code=9
if not exist "%dest%\keycheck.exe" goto checked
"%dest%\keycheck.exe" /wait /q
set code=%errorlevel%
:checked
set "result=%code%"
set "meaning=failed, keycheck %code%"
call :map 0 0 "installed"
call :map 3 0 "installed; a plugged key gets the driver when replugged"
call :map 5 3010 "installed; a restart finishes it"
call :map 10 1618 "the install is still running; retry later"
call :map 11 0 "a newer version is installed; keysetup.exe not run"
call :close_log "%report%"
exit /b %result%

rem A newer version of the key's driver is installed: no keysetup, which
rem would replace it with this older one; the kept keycheck.exe is added
rem only where it is missing, the package's own one reports.
:newer
>>"%log%" echo keycheck before the install: 11, a newer version of the key's driver is installed; keysetup.exe not run
if not exist "%dest%\" mkdir "%dest%"
if not exist "%dest%\keycheck.exe" copy /y "%content%keycheck.exe" "%dest%\keycheck.exe" >nul
set "report=%content%keycheck.exe"
set code=11
goto checked

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
