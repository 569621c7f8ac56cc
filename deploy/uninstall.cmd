@echo off
rem Uninstall command for a deployment tool, run from the package content.
rem Runs keysetup's uninstall, then asks keycheck: 0 when nothing is left,
rem 3010 when Windows finishes the removal at the next restart, otherwise
rem keycheck's code (4 leftovers, 9 cannot check). keycheck.exe stays in
rem its folder until the uninstall is done, so that detection still works.
setlocal
set "dest=%ProgramFiles%\VORevizeRidarorar"
if defined ProgramFiles(x86) set "dest=%ProgramFiles(x86)%\VORevizeRidarorar"
start "" /wait "%~dp0keysetup.exe" uninstall
"%dest%\keycheck.exe" /q
set code=%errorlevel%
if "%code%"=="1" set result=0
if "%code%"=="5" set result=3010
if not defined result exit /b %code%
del /f /q "%dest%\keycheck.exe"
rmdir "%dest%" 2>nul
exit /b %result%
