// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct AppConfig;

// The command-line conversions, run without a window in the current directory:
// --convert-jet FILE [--jet-table NAME] [--jet-columns ...] and --export-mbox FILE. Progress
// goes to standard error once a second, the last line to standard output; the exit code
// is 0, or 1 after a one-line reason on standard error.
namespace TransferCommands {

bool requested(const AppConfig &config);
int run(const AppConfig &config);

}
