#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

// The simulators' traffic log: one line per event on stdout, flushed at once, so that a
// developer (or a test reading the pipe) sees every call as it happens.

// Prints "<program> HH:mm:ss.zzz <text>" and flushes stdout.
void simLog(const QString &text);

// Bytes as lower-case hex pairs separated by blanks: "01 3e 00 00 00".
QString simHex(const QByteArray &bytes);

// D-Bus arguments as the log shows them: each with its type code, numbers in hex and decimal,
// byte arrays as hex bytes ("ay[5] 01 3e 00 00 00").
QString simDescribe(const QVariantList &arguments);

// A number given on the command line or from the shell: decimal, or hex with 0x.
bool simParseNumber(const QString &text, qint64 *value);
