#include "engine.h"
#include "error.h"
#include "layout.h"
#include "numbers.h"
#include "schema.h"
#include "textcopy.h"
#include "turkish.h"

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

// The old side of a row as it is stored: cut from an owner row, or the
// record stored last for a continuation row.
struct OldSide {
    Value epafta, eada, eparsel, babaadi;
    Value ealan, tapu, dop, tahsis; // as read; stored through Val
};

Value text(QStringView column)
{
    return Value::text(copied(column));
}

// Owner and old-side values of a continuation row come from the record stored last.
OldSide readBack(Recordset &kayit, Working &w)
{
    kayit.moveLast();
    OldSide old;
    const std::pair<schema::Field, Value *> fields[] = {
        {schema::Epafta, &old.epafta},   {schema::Eada, &old.eada},     {schema::Eparsel, &old.eparsel},
        {schema::Ealan, &old.ealan},     {schema::Adi, &w.adi},         {schema::Soyadi, &w.soyadi},
        {schema::Babaadi, &old.babaadi}, {schema::Ehispay, &w.ehispay}, {schema::Ehispayda, &w.ehispayda},
        {schema::Tapu, &old.tapu},       {schema::Dop, &old.dop},       {schema::Tahsis, &old.tahsis},
    };
    for (const auto &[field, value] : fields)
        *value = kayit.field(field);
    return old;
}

// The owner's names repaired and cased, the old side as cut. The owner
// column is only split into names; the father's name keeps its blanks.
OldSide normaliseOwner(const Values &cut, Working &w, ValidityFlag &validity)
{
    OldSide old;
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
    old.babaadi = Value::text(std::move(father));
    splitShare(cut[OldShare], w.ehispay, w.ehispayda);
    old.epafta = text(cut[OldSheet]);
    old.eada = text(cut[OldBlock]);
    old.eparsel = text(cut[OldParcel]);
    old.ealan = text(cut[OldArea]);
    old.tapu = text(cut[TitleDeed]);
    old.dop = text(cut[Deduction]);
    old.tahsis = text(cut[Allocation]);
    return old;
}

void store(Recordset &kayit, const Values &cut, const Working &w, OldSide &&old, const Value &mahalle)
{
    const Value newArea = text(cut[NewArea]);
    kayit.addNew();
    kayit.setField(schema::Yada, text(cut[NewBlock]));
    kayit.setField(schema::Yparsel, text(cut[NewParcel]));
    kayit.setField(schema::Yhispay, w.yhispay);
    kayit.setField(schema::Yhispayda, w.yhispayda);
    kayit.setField(schema::Hisyuzolcumu, countsAsOne(w.yhispay) ? newArea : w.yhispay);
    kayit.setField(schema::Yalan, newArea);
    kayit.setField(schema::Adi, w.adi);
    kayit.setField(schema::Soyadi, w.soyadi);
    kayit.setField(schema::Babaadi, std::move(old.babaadi));
    kayit.setField(schema::Epafta, std::move(old.epafta));
    kayit.setField(schema::Eada, std::move(old.eada));
    kayit.setField(schema::Eparsel, std::move(old.eparsel));
    kayit.setField(schema::Ehispay, w.ehispay);
    kayit.setField(schema::Ehispayda, w.ehispayda);
    kayit.setField(schema::Ealan, Value::number(valOf(old.ealan)));
    kayit.setField(schema::Tapu, Value::number(valOf(old.tapu)));
    kayit.setField(schema::Dop, Value::number(valOf(old.dop)));
    kayit.setField(schema::Tahsis, Value::number(valOf(old.tahsis)));
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
    satir = report.readLine();
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
            OldSide old = kind == RowKind::Continuation ? readBack(kayit, w) : normaliseOwner(cut, w, validity);
            splitShare(cut[NewShare], w.yhispay, w.yhispayda);
            store(kayit, cut, w, std::move(old), neighbourhood);
            watchStored();
        }
        readLine();
    }
    kayit.close();
}

} // namespace zefto
