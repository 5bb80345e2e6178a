// Writes settings through KIVO's own store as fast as it can, until it is killed: the burst the
// crash test kills at random moments. Each round writes every key with the round's value, so
// a reader can tell an old value from a new one.
#include "KIVO_Settings.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (int round = 1;; ++round) {
        for (const KIVO_Setting &setting : kSettings) {
            writeIntEntry(settingStorePath(setting.store).toLocal8Bit().constData(), setting.key,
                          round);
        }
        if (round == 1) {
            // Tells the test that the files exist.
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
