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
    copyChars(textToWrite(s.size()), s);
}

char16_t *Value::textToWrite(qsizetype n)
{
    m_kind = Kind::Text;
    // A shared or static text (and a null one) is left to its other holders.
    if (m_text.isDetached() && m_text.capacity() >= n) {
        if (m_text.size() != n) // a column's text keeps its width from record to record
            m_text.resize(n);
    } else {
        m_text = QString(n, Qt::Uninitialized); // zero-length, never null, when n is 0
    }
    // data() would give a zero-length static text memory of its own.
    return n == 0 ? nullptr : reinterpret_cast<char16_t *>(m_text.data());
}

void Value::copyFrom(const Value &o)
{
    if (o.isText())
        setText(o.m_text);
    else
        *this = o;
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
