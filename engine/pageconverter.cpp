#include "engine.h"
#include "error.h"
#include "layout.h"
#include "numbers.h"
#include "schema.h"
#include "textcopy.h"
#include "turkish.h"
#include "val.h"

#include <array>
#include <limits>
#include <utility>

namespace zefto {
namespace {

using namespace layout;
using namespace turkish;

// What carries from one line of a block to the next: each starts with no
// value and keeps the last value a line gave it (a share without "/" keeps
// the split of the row before).
struct Working {
    Value adi, soyadi, ehispay, ehispayda, yhispay, yhispayda;
};

// A field of a row's old side: an owner row's column as cut, or what a
// continuation row reads back from the record stored last (and an owner
// row's father's name, repaired).
struct OldField {
    QStringView cut;
    Value value;
    bool isCut = false;

    void store(Recordset &kayit, schema::Field f) const
    {
        if (isCut)
            kayit.setText(f, cut);
        else
            kayit.setField(f, value);
    }
    // The area and figure fields are stored as what Val reads from them.
    Value number() const { return Value::number(isCut ? val(cut) : valOf(value)); }
};

struct OldSide {
    OldField epafta, eada, eparsel, babaadi, ealan, tapu, dop, tahsis;
};

// Owner and old-side values of a continuation row come from the record stored last.
OldSide readBack(Recordset &kayit, Working &w)
{
    kayit.moveLast();
    OldSide old;
    const std::pair<schema::Field, Value *> fields[] = {
        {schema::Epafta, &old.epafta.value},   {schema::Eada, &old.eada.value}, {schema::Eparsel, &old.eparsel.value},
        {schema::Ealan, &old.ealan.value},     {schema::Adi, &w.adi},           {schema::Soyadi, &w.soyadi},
        {schema::Babaadi, &old.babaadi.value}, {schema::Ehispay, &w.ehispay},   {schema::Ehispayda, &w.ehispayda},
        {schema::Tapu, &old.tapu.value},       {schema::Dop, &old.dop.value},   {schema::Tahsis, &old.tahsis.value},
    };
    for (const auto &[field, value] : fields)
        *value = kayit.field(field);
    return old;
}

// The owner's names repaired and cased, the old side as cut. The owner
// column is only split into names; the father's name keeps its blanks.
OldSide normaliseOwner(const Values &cut, Working &w, ValidityFlag &validity)
{
    QString owner = copied(trimTrailingBlanks(cut[OwnerName]));
    repairCp857(owner, NameKind::Owner, validity);
    QString father = copied(cut[FatherName]);
    repairCp857(father, NameKind::Father, validity);
    if (!owner.isEmpty()) {
        properCase(owner);
        splitOwnerName(std::move(owner), w.adi, w.soyadi);
    }
    if (!father.isEmpty())
        firstLetterCase(father);
    splitShare(cut[OldShare], w.ehispay, w.ehispayda);
    const auto asCut = [&](Col c) { return OldField{cut[c], Value(), true}; };
    return {asCut(OldSheet), asCut(OldBlock),  asCut(OldParcel), OldField{{}, Value::text(std::move(father)), false},
            asCut(OldArea),  asCut(TitleDeed), asCut(Deduction), asCut(Allocation)};
}

// A working value goes into the record as a copy of its own, so that the next
// row's split can write over the working value's text instead of allocating.
void setCopy(Recordset &kayit, schema::Field f, const Value &v)
{
    if (v.isText())
        kayit.setText(f, v.asText());
    else
        kayit.setField(f, v);
}

// In the order the fields were always set: a share numerator that is no
// number (13) is told before an area Val cannot read (6) or a NULL read back (94).
void store(Recordset &kayit, const Values &cut, const Working &w, const OldSide &old, const Value &mahalle)
{
    kayit.addNew();
    kayit.setText(schema::Yada, cut[NewBlock]);
    kayit.setText(schema::Yparsel, cut[NewParcel]);
    setCopy(kayit, schema::Yhispay, w.yhispay);
    setCopy(kayit, schema::Yhispayda, w.yhispayda);
    if (countsAsOne(w.yhispay))
        kayit.setText(schema::Hisyuzolcumu, cut[NewArea]);
    else
        setCopy(kayit, schema::Hisyuzolcumu, w.yhispay);
    kayit.setText(schema::Yalan, cut[NewArea]);
    setCopy(kayit, schema::Adi, w.adi);
    setCopy(kayit, schema::Soyadi, w.soyadi);
    old.babaadi.store(kayit, schema::Babaadi);
    old.epafta.store(kayit, schema::Epafta);
    old.eada.store(kayit, schema::Eada);
    old.eparsel.store(kayit, schema::Eparsel);
    setCopy(kayit, schema::Ehispay, w.ehispay);
    setCopy(kayit, schema::Ehispayda, w.ehispayda);
    kayit.setField(schema::Ealan, old.ealan.number());
    kayit.setField(schema::Tapu, old.tapu.number());
    kayit.setField(schema::Dop, old.dop.number());
    kayit.setField(schema::Tahsis, old.tahsis.number());
    kayit.setField(schema::Mahalle, mahalle);
    kayit.update();
}

// A NUL in a value to be stored is damage (a zero-filled tail, a broken copy), never text.
bool storesNul(const Values &cut, RowKind kind)
{
    const int first = kind == RowKind::Continuation ? NewBlock : 0;
    for (int c = first; c < ColumnCount; ++c)
        if (cut[c].contains(QChar(0)))
            return true;
    return false;
}

} // namespace

void Engine::countLine()
{
    if (stt == std::numeric_limits<qint16>::max())
        throw Error::of(err::Overflow);
    ++stt;
    m_window.setProgressValue(float(stt));
}

void Engine::readLine()
{
    checkInterrupt(); // a line boundary: stopping here leaves nothing half done
    // Read into the buffer of the line before last, so a failed read leaves satir as it was.
    report.readLine(m_nextLine);
    satir.swap(m_nextLine);
    countLine();
}

// The table's copy, not ours: the store may have changed what it was given.
void Engine::watchStored()
{
    if (!watch)
        return;
    if (const Record *kept = db.appendedLast()) {
        watch->stored(*kept);
        return;
    }
    const std::optional<Record> stored = db.lastRecord();
    Q_ASSERT(stored);
    watch->stored(*stored);
}

void Engine::tabloici()
{
    kayit = db.openRecordset(QLatin1String(schema::tableName));
    const Value neighbourhood = Value::text(mahalle);
    Working w;
    for (int line = 1; line <= blockLines; ++line) {
        // Views into satir, valid until the next line is read; text is copied
        // only for the rows that are stored.
        const Values cut = cutAll(satir);
        const RowKind kind = classify(cut[OwnerName]);
        // stt has counted the line in satir, so it is that line's number. The
        // columns are cut from satir: without a NUL in it, none has one.
        if ((kind == RowKind::Continuation || kind == RowKind::Owner) && satir.contains(QChar(0))
            && storesNul(cut, kind))
            throw Error(err::DamagedReport, QStringLiteral("line %1 holds NUL bytes: the report is damaged").arg(stt));
        if (kind == RowKind::Continuation || kind == RowKind::Owner) {
            const OldSide old = kind == RowKind::Continuation ? readBack(kayit, w) : normaliseOwner(cut, w, validity);
            splitShare(cut[NewShare], w.yhispay, w.yhispayda);
            store(kayit, cut, w, old, neighbourhood);
            watchStored();
        }
        readLine();
    }
    kayit.close();
}

} // namespace zefto
