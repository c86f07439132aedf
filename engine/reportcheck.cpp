#include "reportcheck.h"

#include "error.h"
#include "layout.h"
#include "location.h"
#include "reportreader.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <new>
#include <system_error>

namespace zefto::reportcheck {

bool hasFullDataLine(const QString &path)
{
    try {
        ReportReader reader;
        reader.open(path);
        for (int line = 1; !reader.atEnd(); ++line) {
            if (reader.skipLine() >= layout::fullLineLength && layout::inDataBlock(line))
                return true;
        }
    } catch (const Error &) {
    } catch (const std::bad_alloc &) {
    }
    return false;
}

bool isNotText(const QByteArray &head)
{
    // Zip (XLSX, DOCX, ODS), OLE (XLS, DOC), PDF, gzip, PNG, JPEG, ELF, SQLite.
    static const QByteArray signatures[] = {
        QByteArrayLiteral("PK\x03\x04"),
        QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"),
        QByteArrayLiteral("%PDF-"),
        QByteArrayLiteral("\x1F\x8B"),
        QByteArrayLiteral("\x89PNG"),
        QByteArrayLiteral("\xFF\xD8\xFF"),
        QByteArrayLiteral("\x7F"
                          "ELF"),
        QByteArrayLiteral("SQLite format 3"),
    };
    for (const QByteArray &s : signatures)
        if (head.startsWith(s))
            return true;
    // A damaged report may hold a few NULs (a column, a tail after a crash); data that is no
    // text holds NULs and control bytes all through. A run of NULs counts once.
    QByteArrayView text(head);
    while (text.endsWith('\0'))
        text.chop(1);
    qsizetype strange = 0;
    char before = 'x';
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        // Line ends, tab, form feed and the printer's codes (ESC, SI, SO, DC2, DC4, SUB) are a report's own.
        if ((b == 0 && before != 0)
            || (b != 0 && b < 0x20 && b != '\n' && b != '\r' && b != '\t' && b != '\f' && b != 0x1B && b != 0x0E
                && b != 0x0F && b != 0x12 && b != 0x14 && b != 0x1A))
            ++strange;
        before = c;
    }
    return strange * 50 > qMax<qsizetype>(text.size(), 1);
}

bool isNotText(const QString &path)
{
    // Only a regular file is opened here: a FIFO would block, and the run refuses it anyway.
    QFile f(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    return isNotText(f.read(64 * 1024));
}

bool isDatabaseFile(const QString &path, const QString &databasePath)
{
    if (path.isEmpty() || databasePath.isEmpty() || location::isServerAddress(databasePath))
        return false;
    const std::filesystem::path report(QFile::encodeName(path).toStdString());
    for (const char *side : {"", "-journal", "-wal", "-shm"}) {
        const std::filesystem::path candidate(QFile::encodeName(databasePath + QLatin1String(side)).toStdString());
        std::error_code ec;
        // Same device and inode: a link or another spelling of the path is still the database.
        if (std::filesystem::equivalent(report, candidate, ec) && !ec)
            return true;
    }
    return false;
}

} // namespace zefto::reportcheck
