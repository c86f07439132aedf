#pragma once

#include <QString>

// Where the test servers keep their clusters, and what is left of a test
// process that died: a crash skips the destructors that stop its server and
// remove its folder, so whoever comes later removes them.

// tmpfs when it has room (a cluster is copied, and a database made in it, five
// to ten times as fast as on a disk), else the temporary folder.
QString pgServerRoot();

// Whether the process runs (an ended one not yet waited for does not).
bool alive(qint64 pid);

// Writes this process's id into a server's folder: the folder lives while it does.
void markOwner(const QString &folder);

// Stops the servers and removes the folders (zefto-pg-* under pgServerRoot())
// whose owner process has ended. Folders without an owner are being made.
void sweepOrphanedServers();

// The file through which a ctest run hands its one server to the test binaries
// it starts: ZEFTO_TEST_SERVER names the folder, zefto-test-server writes the
// file for its ctest, keyed by that process's id, so two runs never meet. It
// holds the server's folder, then the id of the process that keeps the server.
QString runServerFile(const QString &folder, qint64 ctestPid);
