// How PostgresStore tells a reader that another session committed: by the
// notification every writing transaction sends (see commitTransaction).
#include "pgstore.h"

namespace zefto::postgres {

std::optional<qint64> PostgresStore::dataVersion()
{
    finishCopy();
    if (!m_listening) {
        m_connection.exec(QStringLiteral("LISTEN %1").arg(QLatin1String(changeChannel)));
        m_listening = true;
    }
    if (m_connection.notified())
        ++m_notifications;
    return m_notifications;
}

} // namespace zefto::postgres
