#include "undo.h"

namespace zefto::records {

qint64 undoConversion(Database &db, qint64 id)
{
    return db.undoConversion(id, conversionlog::userName() + u'@' + conversionlog::hostName());
}

} // namespace zefto::records
