#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <QString>

// What the fuzz targets share: a private KIVO_ROOT, an offscreen application without a bus,
// files of fuzz bytes, and a hand that closes every modal popup as soon as it runs.
namespace KIVO_Fuzz {

// Sets up the environment once: offscreen platform, a bus address that leads nowhere, a
// temporary KIVO_ROOT (on /dev/shm when there is one) and no VEK_APP_WRITE_PATH. Returns the
// root.
QString setUpEnvironment();

// The application object, made on first use (after setUpEnvironment()).
void ensureApplication();

// Rejects whatever modal popup is active, from a 0 ms timer: every popup the code under test
// runs with exec() returns at once.
void closeModalPopups();

// A read-only stream on a copy of the bytes; the copy lives until the stream is closed.
struct MemoryFile {
    MemoryFile(const uint8_t *data, size_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    FILE *file = nullptr;

private:
    std::unique_ptr<uint8_t[]> m_bytes;
};

// Writes the bytes at the device path under the root, directories included.
void writeRootedFile(const char *devicePath, const uint8_t *data, size_t size);

} // namespace KIVO_Fuzz
