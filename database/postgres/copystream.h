#pragma once

#include "pgconnection.h"
#include "store.h"

#include <QByteArray>
#include <vector>

namespace zefto::postgres {

// Records streamed to the server with COPY ... FROM STDIN through libpq:
// many records per round trip, where the driver would spend one per record.
class CopyStream {
public:
    explicit CopyStream(Connection &connection) : m_connection(connection) {}
    ~CopyStream() { abandon(); }
    CopyStream(const CopyStream &) = delete;
    CopyStream &operator=(const CopyStream &) = delete;

    bool isOpen() const { return m_open; }
    // The fields the open COPY carries.
    const std::vector<bool> &given() const { return m_given; }
    // Starts a COPY of the fields marked in `given` (of `columns`). Throws Error.
    void start(const QString &table, const QStringList &columns, const std::vector<bool> &given);
    // Takes over a COPY of these fields that a batch started (Connection::batch).
    void adopt(const std::vector<bool> &given);
    // Queues one record; sends whenever a block is full. Throws Error.
    void put(const Record &values);
    // Sends the rest and ends the COPY; the server's verdict on every record. Throws Error.
    void finish();
    // Ends the COPY as failed, so the server keeps none of it; never throws.
    void abandon() noexcept;

private:
    void send();
    [[noreturn]] void fail();
    Failure lastFailure() const;

    Connection &m_connection;
    bool m_open = false;
    std::vector<bool> m_given;
    QByteArray m_buffer; // rows not handed to libpq yet
};

// COPY ... FROM STDIN of the fields marked in `given` (of `columns`).
QString copyStatement(const QString &table, const QStringList &columns, const std::vector<bool> &given);

// One record as a line of COPY's text format (NULL as \N, tabs between fields).
void appendCopyLine(QByteArray &out, const Record &values, const std::vector<bool> &given);

} // namespace zefto::postgres
