#pragma once
// Whether the blocking module enforces its policy right now: its rules are in place and it
// judges the terminals' connections. The module says so in a small file of the run directory
// (its process id and start time) while it does; the monitor reads it to leave the visits the
// policy blocks to the blocking module, which writes their rows itself. A module that cannot
// set its rules (no right, not a gateway) still has its window but does not say so here, so the
// monitor then records those visits as let through. A file left by a module that died names a
// process that no longer runs and counts for nothing.

#include <QString>

namespace lt::blockstate
{

QString filePath(); // run/qmlxblock.enforcing

// The module's side.
bool markEnforcing();
void clearEnforcing();

// Anybody's side: the file names a process that runs.
bool enforcing();

} // namespace lt::blockstate
