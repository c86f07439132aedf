#include "textcopy.h"

namespace zefto {

QString copied(QStringView text)
{
    QString s(text.size(), Qt::Uninitialized);
    copyChars(reinterpret_cast<char16_t *>(s.data()), text);
    return s;
}

} // namespace zefto
