#pragma once

#include <QString>
#include <exception>

namespace zefto {

// Error numbers that callers test for. The database numbers follow the
// desktop database engine our users know; the run's own follow BASIC's.
namespace err {
inline constexpr int Overflow = 6;      // a 16-bit line counter passed 32767
inline constexpr int OutOfMemory = 7;   // a line or a run needed more memory than there is
inline constexpr int TypeMismatch = 13; // a share numerator that is not a number
inline constexpr int Interrupted = 18;  // SIGINT/SIGTERM: the run was rolled back
inline constexpr int BadFileName = 52;  // a name that does not survive the file-name encoding
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIo = 57; // the report could not be read
inline constexpr int InputPastEnd = 62;
inline constexpr int DamagedReport = 63; // NUL bytes in a column that would be stored
inline constexpr int PathAccess = 75;    // a directory, or no permission
inline constexpr int InvalidUseOfNull = 94;
inline constexpr int InvalidFileFormat = 321; // not text at all: an archive, a PDF, bytes a report never has
inline constexpr int Reserved = 3000;         // anything the database says that has no number of its own
inline constexpr int UpdateWithoutAddNew = 3020;
inline constexpr int NoCurrentRecord = 3021;
inline constexpr int DatabaseGone = 3024; // the file was removed or replaced under us
inline constexpr int DiskFull = 3026;
inline constexpr int ReadFailed = 3040; // the database file could not be read (an I/O error, not damage)
inline constexpr int ReadOnly = 3027;
inline constexpr int FileInUse = 3045;        // locked by another program beyond the busy wait
inline constexpr int CannotOpen = 3051;       // cannot open or create the file
inline constexpr int ConnectionFailed = 3151; // a database server could not be reached, or the connection was lost
inline constexpr int TableNotFound = 3078;
inline constexpr int ItemNotFound = 3265; // a field name the table lacks
inline constexpr int ZeroLengthString = 3315;
inline constexpr int UnrecognizedFormat = 3343; // not a database, or corrupt
inline constexpr int ObjectInvalid = 3420;      // use of a closed database or recordset
inline constexpr int DataTypeConversion = 3421;
inline constexpr int BadDefinition = 3372; // the table lacks a field or a constraint we rely on
inline constexpr int UndoRefused = 3197;   // a conversion already undone, or whose records changed since
} // namespace err

// The one failure type of every layer: a number callers can test and the
// words the operator is shown.
class Error : public std::exception {
public:
    Error(int number, QString description);

    // The standard description of a number, for the numbers that have one.
    static Error of(int number);

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// Closes `owner` from its destructor, where a failure cannot be reported:
// a store keeps only what was committed, so the silence loses nothing.
template <class Closable> void closeInDestructor(Closable &owner) noexcept
{
    try {
        owner.close();
    } catch (const Error &) {
    }
}

} // namespace zefto
