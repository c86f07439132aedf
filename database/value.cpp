#include "value.h"

#include "textcopy.h"

namespace zefto {

Value Value::null()
{
    Value v;
    v.m_kind = Kind::Null;
    return v;
}

Value Value::text(const QString &s)
{
    Value v;
    v.m_kind = Kind::Text;
    // A default-constructed QString is bound as NULL by Qt; an empty literal is not.
    v.m_text = s.isNull() ? QStringLiteral("") : s;
    return v;
}

Value Value::text(QString &&s)
{
    Value v;
    v.m_kind = Kind::Text;
    v.m_text = s.isNull() ? QStringLiteral("") : std::move(s);
    return v;
}

Value Value::number(double d)
{
    Value v;
    v.m_kind = Kind::Double;
    v.m_double = d;
    return v;
}

void Value::setText(QStringView s)
{
    m_kind = Kind::Text;
    // A shared or static text (and a null one) is left to its other holders.
    if (m_text.isDetached() && m_text.capacity() >= s.size()) {
        if (m_text.size() != s.size()) // a column's text keeps its width from record to record
            m_text.resize(s.size());
        copyChars(reinterpret_cast<char16_t *>(m_text.data()), s);
    } else {
        m_text = copied(s);
    }
}

bool Value::operator==(const Value &o) const
{
    if (m_kind != o.m_kind)
        return false;
    switch (m_kind) {
    case Kind::Text: return m_text == o.m_text;
    case Kind::Double: return m_double == o.m_double;
    default: return true;
    }
}

} // namespace zefto
