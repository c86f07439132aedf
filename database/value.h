#pragma once

#include <QString>
#include <QStringView>

namespace zefto {

// A field or working value: text (zero-length included), a double, no value
// (never set; stored as NULL) or null (read back from a NULL field).
class Value {
public:
    enum class Kind { Unset, Null, Text, Double };

    Value() = default; // no value
    static Value null();
    static Value text(const QString &s);
    static Value text(QString &&s); // takes the text over: readers make millions of values
    static Value number(double d);
    // Makes this a text value holding a copy of `s`, written over the text it
    // held when no other value shares that (a recordset adds record after record).
    void setText(QStringView s);
    // Makes this a text value of `n` units for the caller to write (nullptr
    // when `n` is 0), over the text it held as setText does.
    char16_t *textToWrite(qsizetype n);
    // Keeps the first `n` units of the text, after fewer were written than asked for.
    void truncateText(qsizetype n) { m_text.truncate(n); }
    // Makes this equal to `o` with a text of its own, written over the text it held.
    void copyFrom(const Value &o);

    Kind kind() const { return m_kind; }
    bool isUnset() const { return m_kind == Kind::Unset; }
    bool isNull() const { return m_kind == Kind::Null; }
    bool isText() const { return m_kind == Kind::Text; }
    bool isDouble() const { return m_kind == Kind::Double; }

    // Never a null QString for a text value, so a zero-length text is never
    // mistaken for NULL on the way into the database.
    const QString &asText() const { return m_text; }
    double asDouble() const { return m_double; }

    bool operator==(const Value &o) const;

private:
    Kind m_kind = Kind::Unset;
    QString m_text;
    double m_double = 0;
};

} // namespace zefto
