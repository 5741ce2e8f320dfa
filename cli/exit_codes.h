// Exit codes of mobcfg-cli, the contract scripts and tests rely on.
#pragma once

enum ExitCode : int {
    kExitDone = 0,
    kExitUsage = 2,         // bad command line, unknown table, column or record, missing local file
    kExitNoSession = 3,     // the server did not accept a login within the time-out
    kExitAccessDenied = 4,  // the server refused the user name or password
    kExitNotConfirmed = 5,  // logged in, but the operation was not confirmed in time
    kExitLinesLeftOut = 6,  // import: every line sent was confirmed, but some were invalid or refused
};
