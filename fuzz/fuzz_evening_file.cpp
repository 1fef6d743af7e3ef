// The evenings' reader on arbitrary file bytes: whatever the file holds, reading it never crashes
// or reads out of bounds, and an evening it accepts holds only what this program could write.
#include "evening/evening_store.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace
{
QString filePath;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    filePath = QStringLiteral("/tmp/fuzz-serate-%1.sqlite").arg(::getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(filePath + QLatin1String(suffix));
    {
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly)) std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QString why;
    EveningStore::inspect(filePath, &why);
    return 0;
}
