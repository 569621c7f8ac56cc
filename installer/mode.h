// keysetup's choice between install and uninstall mode.
#pragma once

// True when the command-line tail ends in "uninstall", in any letter case.
bool TailSelectsUninstall(const char *tail);
