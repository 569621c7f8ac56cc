# Detection script for Intune (Win32 app, custom detection script) and
# Configuration Manager (script detection method). Both run it alone, with
# no package content beside it: it runs the keycheck.exe that install.cmd
# keeps in a fixed folder. Detected: exit code 0 and a line on standard
# output; not detected: exit code 0 and no output; a check that cannot be
# made: exit code 1 (Configuration Manager reports a detection failure).
$base = ${env:ProgramFiles(x86)}
if (-not $base) { $base = $env:ProgramFiles }
$keycheck = Join-Path $base 'VORevizeRidarorar\keycheck.exe'
if (-not (Test-Path -LiteralPath $keycheck)) { exit 0 }
$report = & $keycheck
$code = $LASTEXITCODE
# 5 (restart needed) follows an install and an uninstall alike: the
# uninstall entry tells which.
$registered = [bool]($report -match '^entry: .* present$')
if ($code -eq 0 -or $code -eq 3 -or ($code -eq 5 -and $registered)) {
    Write-Output "installed (keycheck $code)"
    exit 0
}
if ($code -eq 9) { exit 1 }
exit 0
