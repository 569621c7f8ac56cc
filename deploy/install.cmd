@echo off
rem Install command for a deployment tool (Intune Win32 app, Configuration
rem Manager script installer): run from the package content, beside
rem keysetup.exe and keycheck.exe. Installs the key's driver package and
rem keeps keycheck.exe in a fixed folder, where detect.ps1, uploaded alone,
rem finds it. Exits with keycheck's verdict as deployment tools read it:
rem 0 installed (also when a device still lacks the driver), 3010 restart
rem needed, any other code failed (keycheck's own: 1, 2, 4 or 9).
setlocal
set "dest=%ProgramFiles%\VORevizeRidarorar"
if defined ProgramFiles(x86) set "dest=%ProgramFiles(x86)%\VORevizeRidarorar"
start "" /wait "%~dp0keysetup.exe"
if not exist "%dest%\" mkdir "%dest%"
copy /y "%~dp0keycheck.exe" "%dest%\keycheck.exe" >nul
if not exist "%dest%\keycheck.exe" exit /b 9
"%dest%\keycheck.exe" /q
set code=%errorlevel%
if "%code%"=="3" exit /b 0
if "%code%"=="5" exit /b 3010
exit /b %code%
