#pragma once

// Command-line file arguments of zefto-convert, checked and made readable
// before a run sees them. How main() uses this:
//
//   int main(int argc, char **argv) {
//       const QString bad = cli::undecodableFileArgument(argc, argv);   // before QCoreApplication
//       if (!bad.isEmpty()) { print bad on stderr; return 64; }
//       ...parse as before...
//       for (const QString &report : reports) {
//           try {
//               cli::ReportInput input(report);   // "-" reads standard input to its end here
//               window.setReport(input.path());   // the run reads input.path(), twice
//               out << input.displayName() << ": ";
//               ...Command1_Click()...            // input must outlive the run
//           } catch (const Error &e) {            // 57: standard input could not be spooled
//               print e.description(); status = 2;
//           }
//       }
//
// A report named "/dev/stdin" (or /dev/fd/0) is an ordinary path: when
// standard input is a file it is read as that file; when it is a pipe or a
// terminal the run refuses it as "not a regular file". Only "-" spools.

#include <QByteArrayList>
#include <QString>
#include <QTemporaryFile>
#include <memory>
#include <unistd.h>

namespace zefto::cli {

// The message to print (then exit 64) for the first REPORT or --database
// FILE among the arguments whose bytes do not come back unchanged through
// QFile::decodeName / encodeName; empty when every name survives.
// `arguments` is argv as the process got it, program name first.
QString undecodableFileArgument(const QByteArrayList &arguments);
QString undecodableFileArgument(int argc, char **argv);

// One REPORT argument, ready for the run. "-" means standard input: it is
// copied to its end, 64 KiB at a time, into a temporary file the object
// owns (removed with it), since a run reads its report twice. Any other
// argument is used as it is.
class ReportInput {
public:
    // What the summary calls a report read from standard input.
    static QString standardInputName() { return QStringLiteral("standard input"); }

    // `standardInput` is the descriptor "-" reads (tests give a pipe).
    // Throws Error 57 when standard input cannot be read or the copy
    // cannot be written, 75 when no temporary file can be created.
    explicit ReportInput(const QString &argument, int standardInput = STDIN_FILENO);

    bool isStandardInput() const { return m_spool != nullptr; }
    // The file the run converts: the argument, or the temporary copy.
    const QString &path() const { return m_path; }
    // The name for the summary line: the argument, or "standard input".
    const QString &displayName() const { return m_displayName; }

private:
    void spool(int fd);

    std::unique_ptr<QTemporaryFile> m_spool;
    QString m_path;
    QString m_displayName;
};

} // namespace zefto::cli
