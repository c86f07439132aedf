#include "reportargs.h"

#include "error.h"
#include "filename.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <vector>

namespace zefto::cli {

QString undecodableFileArgument(const QByteArrayList &arguments)
{
    const auto check = [](const QByteArray &name) {
        return survivesFileNameEncoding(name) ? QString() : undecodableNameMessage(QFile::decodeName(name));
    };
    static const QByteArray databaseOption("--database");
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray &a = arguments[i];
        QString message;
        if (optionsEnded || a == "-" || !a.startsWith('-')) {
            message = check(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == databaseOption) {
            if (i + 1 < arguments.size())
                message = check(arguments[++i]);
        } else if (a.startsWith(databaseOption + '=')) {
            message = check(a.mid(databaseOption.size() + 1));
        }
        // Other options carry no file name; the parser judges them.
        if (!message.isEmpty())
            return message;
    }
    return {};
}

QString undecodableFileArgument(int argc, char **argv)
{
    QByteArrayList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return undecodableFileArgument(arguments);
}

ReportInput::ReportInput(const QString &argument, int standardInput)
{
    if (argument != QStringLiteral("-")) {
        m_path = argument;
        m_displayName = argument;
        return;
    }
    // Qt answers an empty temporary folder when TMPDIR names none: never spool into the current one.
    const QString folder = QDir::tempPath();
    if (folder.isEmpty())
        throw Error(err::PathAccess,
                    QStringLiteral("Cannot create a temporary file for standard input: TMPDIR '%1' is not a folder.")
                        .arg(qEnvironmentVariable("TMPDIR")));
    m_spool = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral("zefto-stdin-XXXXXX.txt")));
    if (!m_spool->open()) {
        const int e = errno; // QTemporaryFile's own text is often "Unknown error"
        throw Error(err::PathAccess, QStringLiteral("Cannot create a temporary file in '%1' for standard input: %2.")
                                         .arg(folder, qt_error_string(e)));
    }
    spool(standardInput);
    m_path = m_spool->fileName();
    m_displayName = standardInputName();
}

void ReportInput::spool(int fd)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            throw Error(err::DeviceIo, QStringLiteral("Cannot read standard input: %1.").arg(qt_error_string(e)));
        }
        if (m_spool->write(buffer.data(), n) != n)
            throw Error(err::DeviceIo, QStringLiteral("Cannot copy standard input into '%1': %2.")
                                           .arg(m_spool->fileName(), m_spool->errorString()));
    }
    // A full disk may show itself only when the last bytes leave Qt's buffer.
    if (!m_spool->flush())
        throw Error(err::DeviceIo, QStringLiteral("Cannot copy standard input into '%1': %2.")
                                       .arg(m_spool->fileName(), m_spool->errorString()));
    m_spool->close();
}

} // namespace zefto::cli
