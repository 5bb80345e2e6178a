#pragma once

#include <QString>

// The crash places of a mainline Linux, built in a test root (a host directory) from their
// documented formats: pstore files with set times, a journal made from Journal Export Format text
// by systemd-journal-remote, core files with user.coredump.* attributes, devcoredump dumps as
// kivo-devcd-collect keeps them. `fixture` names one set (see CrashFixtures.cpp); an empty one
// builds nothing. False when a step failed; `*skip` says why a test must skip instead (no
// systemd-journal-remote, no user attributes on the file system).
bool makeCrashFixture(const QString &rootPath, const QString &fixture, QString *skip);

// A journal at `journalPath` (a host path ending in ".journal") with the given entries in
// Journal Export Format.
bool makeJournal(const QString &journalPath, const QByteArray &exportText, QString *skip);

// One systemd-coredump journal entry in Journal Export Format.
QByteArray coredumpEntry(int cursor, qint64 usec, int pid, int uid, int signal,
                         const QByteArray &signalName, const QByteArray &comm,
                         const QByteArray &coreFile);
