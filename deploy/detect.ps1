# Detection script for Intune (Win32 app, custom detection script) and
# Configuration Manager (script detection method). Both run it alone, with
# no package content beside it: it runs the keycheck.exe that install.cmd
# keeps in a fixed folder. "Detected" is exit code 0 with a line on
# standard output; "not detected" is exit code 0 and no output.
#
#   keycheck  result
#   0         detected
#   3         detected
#   11        detected: a newer version of the key's driver than the kept
#             keycheck's; install.cmd leaves it alone
#   5         detected while the uninstall entry is present (a restart
#             finishes the install); not detected after an uninstall
#   6         not detected: another version; the tool installs this one
#   7         not detected: Windows refuses the key's driver, and the
#             console shows the failed install instead of "installed"
#   9         exit 1: Configuration Manager reports the detection as
#             failed, Intune as not detected
#   other     not detected (also when the kept keycheck.exe is missing)
#
# It never writes to standard error: both tools read anything there as a
# failed detection.
$ErrorActionPreference = 'SilentlyContinue'
$base = ${env:ProgramFiles(x86)}
if (-not $base) { $base = $env:ProgramFiles }
$keycheck = Join-Path $base 'VORevizeRidarorar\keycheck.exe'
if (-not (Test-Path -LiteralPath $keycheck)) { exit 0 }
try {
    $report = & $keycheck 2>$null
    $code = $LASTEXITCODE
} catch {
    exit 1
}
$registered = [bool]($report -match '^entry: .* present$')
if ($code -eq 0 -or $code -eq 3 -or $code -eq 11 -or ($code -eq 5 -and $registered)) {
    Write-Output "installed (keycheck $code)"
    exit 0
}
if ($code -eq 9) { exit 1 }
exit 0
