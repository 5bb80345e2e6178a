// The module table parser and the dump-name lookup: a table file of arbitrary bytes, then up to
// three dump files with names taken from the input, read by the AP reader, whose records are
// then shown as the panic screens show them. The input is the names, each as libFuzzer's
// FuzzedDataProvider takes a random-length string, then which names become dangling symlinks
// (entries that cannot be stat'ed), then the table (read with its line and size bounds).
#include "KIVO_FuzzSupport.h"
#include "KIVO_PanicText.h"
#include "KIVO_Panic_Util.h"
#include "PlRoot.h"

#include <QDir>
#include <QFile>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A name the file system takes: no "/" and no NUL, not "." or "..", at most 255 bytes.
std::string fileSystemName(std::string name)
{
    for (char &c : name) {
        if (c == '/' || c == '\0') {
            c = '_';
        }
    }
    if (name.size() > 255) {
        name.resize(255);
    }
    if (name.empty() || name == "." || name == "..") {
        return std::string();
    }
    return name;
}

void checkModuleTable()
{
    if (coreModuleTable.count > PANIC_MAX_RECORDS) {
        std::abort();
    }
    for (uint16_t i = 0; i < coreModuleTable.count; ++i) {
        const char *name = coreModuleTable.rows[i].moduleName;
        if (strnlen(name, sizeof coreModuleTable.rows[i].moduleName) > 24) {
            std::abort();
        }
    }
}

void checkApList(PanicNode *head, uint8_t count)
{
    size_t records = 0;
    uint32_t previous = 256;
    for (const PanicNode *node = head; node; node = node->next) {
        const auto *record = static_cast<const ApDumpRecord *>(node->data);
        if (strnlen(record->moduleName, sizeof record->moduleName) > 24 ||
            strnlen(record->fileName, sizeof record->fileName) >= sizeof record->fileName ||
            record->nameLength != std::strlen(record->moduleName) || record->panicNum == 0 ||
            record->panicNum > count || record->panicNum >= previous) {
            std::abort();
        }
        previous = record->panicNum;
        ++records;
    }
    if (records > count) {
        std::abort();
    }
    // Every row opens the record whose number it shows, gaps or not.
    PanicNode *from = head;
    for (PanicNode *node : panicRowNodes(PANIC_AP, head, count)) {
        PanicNode *found = findPanicNode(PANIC_AP, from, panicNumber(PANIC_AP, node));
        if (found != node) {
            std::abort();
        }
        from = found;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    KIVO_Fuzz::setUpEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::vector<std::string> names;
    const int nameCount = provider.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < nameCount; ++i) {
        names.push_back(provider.ConsumeRandomLengthString(300));
    }
    const uint8_t dangling = provider.ConsumeIntegral<uint8_t>();
    const std::vector<uint8_t> table = provider.ConsumeRemainingBytes<uint8_t>();
    KIVO_Fuzz::writeRootedFile(PANIC_MODULE_TABLE, table.data(), table.size());

    // The lookup on the names as they came, NULs ending them as they would in a C string.
    loadCoreModuleTable();
    checkModuleTable();
    for (const std::string &name : names) {
        uint32_t moduleId = 0;
        char moduleName[25];
        if (lookupCoreModule(name.c_str(), &moduleId, moduleName) == 0 &&
            std::strlen(moduleName) > 24) {
            std::abort();
        }
    }

    // The same names as files in the dump directory.
    const QString dumpDir = QString::fromLocal8Bit(plRootedPath(PANIC_DUMP_DIR));
    QDir(dumpDir).removeRecursively();
    QDir().mkpath(dumpDir);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string entry = fileSystemName(names[i]);
        if (entry.empty()) {
            continue;
        }
        const QString path =
            dumpDir + '/' + QString::fromLocal8Bit(entry.data(), int(entry.size()));
        if (dangling & (1u << i)) {
            QFile::link(dumpDir + QStringLiteral("/nowhere"), path);
            continue;
        }
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write("ELF");
        }
    }
    PanicNode *head = nullptr;
    uint8_t count = 0;
    readApPanics(&head, &count);
    checkModuleTable();
    checkApList(head, count);
    panicRowTexts(PANIC_AP, head, count);
    for (const PanicNode *node = head; node; node = node->next) {
        panicDetailText(PANIC_AP, node);
    }
    freePanicList(&head);
    return 0;
}
