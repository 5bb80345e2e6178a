#pragma once

#include <QString>

// The crash places of a mainline Linux, built in a test root (a host directory) from their
// documented formats: pstore files with set times, a journal made from Journal Export Format text
// by systemd-journal-remote, core files with user.coredump.* attributes, devcoredump dumps as
// kivo-devcd-collect keeps them. `fixture` names one set (see CrashFixtures.cpp). False when a
// step failed; `*skip` says why a test must skip instead (no systemd-journal-remote, no user
// attributes on the file system).
bool makeCrashFixture(const QString &root, const QString &fixture, QString *skip);

