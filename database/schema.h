#pragma once

#include <QString>
#include <QStringList>

namespace zefto::schema {

inline constexpr auto tableName = "ovrekson";

// The 19 share record fields in the order the page converter sets them.
enum Field {
    Yada,
    Yparsel,
    Yhispay,
    Yhispayda,
    Hisyuzolcumu,
    Yalan,
    Adi,
    Soyadi,
    Babaadi,
    Epafta,
    Eada,
    Eparsel,
    Ehispay,
    Ehispayda,
    Ealan,
    Tapu,
    Dop,
    Tahsis,
    Mahalle,
    FieldCount
};
const QStringList &fieldNames();
inline const QString &fieldName(Field f)
{
    return fieldNames()[f];
}
// Names, the old sheet and the neighbourhood are words; every other field is a number, printed or stored.
inline bool readsAsNumber(Field f)
{
    return f != Adi && f != Soyadi && f != Babaadi && f != Epafta && f != Mahalle;
}

// How many leading fields are text that must not be zero-length (yada..ehispayda).
inline constexpr int requiredTextFields = 14;

// The CREATE TABLE statement, kept in ovrekson.sql and compiled in.
QString createStatement();
// The STRICT statement earlier versions created the table with; their files are read and written as ours.
QString strictCreateStatement();
// The statement of the few days before the type checks compared types by
// their order: the same checks by typeof(), which store and refuse alike.
QString typeofCreateStatement();

} // namespace zefto::schema
