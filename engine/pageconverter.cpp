#include "engine.h"
#include "error.h"
#include "layout.h"
#include "numbers.h"
#include "schema.h"
#include "turkish.h"

#include <array>
#include <limits>

namespace zefto {
namespace {

using namespace layout;
using namespace turkish;

// The values the page converter keeps while it converts one block. Each
// starts with no value and keeps the last value a line gave it.
struct Working {
    std::array<Value, ColumnCount> col;
    Value adi, soyadi, ehispay, ehispayda, yhispay, yhispayda;
};

const QString &name(schema::Field f)
{
    return schema::fieldName(f);
}

// Owner and old-side values of a continuation row come from the record stored last.
void readBack(Recordset &kayit, Working &w)
{
    kayit.moveLast();
    w.col[OldSheet] = kayit.field(name(schema::Epafta));
    w.col[OldBlock] = kayit.field(name(schema::Eada));
    w.col[OldParcel] = kayit.field(name(schema::Eparsel));
    w.col[OldArea] = kayit.field(name(schema::Ealan));
    w.adi = kayit.field(name(schema::Adi));
    w.soyadi = kayit.field(name(schema::Soyadi));
    w.col[FatherName] = kayit.field(name(schema::Babaadi));
    w.ehispay = kayit.field(name(schema::Ehispay));
    w.ehispayda = kayit.field(name(schema::Ehispayda));
    w.col[TitleDeed] = kayit.field(name(schema::Tapu));
    w.col[Deduction] = kayit.field(name(schema::Dop));
    w.col[Allocation] = kayit.field(name(schema::Tahsis));
}

void normaliseOwner(Working &w, ValidityFlag &validity)
{
    QString owner = trimTrailingBlanks(w.col[OwnerName].asText());
    repairCp857(owner, NameKind::Owner, validity);
    QString father = w.col[FatherName].asText();
    repairCp857(father, NameKind::Father, validity);
    if (!owner.isEmpty()) {
        QString cased = owner;
        properCase(cased);
        splitOwnerName(cased, w.adi, w.soyadi);
    }
    if (!father.isEmpty())
        firstLetterCase(father);
    w.col[OwnerName] = Value::text(owner);
    w.col[FatherName] = Value::text(father);
    splitShare(w.col[OldShare].asText(), w.ehispay, w.ehispayda);
}

void store(Recordset &kayit, const Working &w, const QString &mahalle)
{
    kayit.addNew();
    kayit.setField(name(schema::Yada), w.col[NewBlock]);
    kayit.setField(name(schema::Yparsel), w.col[NewParcel]);
    kayit.setField(name(schema::Yhispay), w.yhispay);
    kayit.setField(name(schema::Yhispayda), w.yhispayda);
    kayit.setField(name(schema::Hisyuzolcumu), countsAsOne(w.yhispay) ? w.col[NewArea] : w.yhispay);
    kayit.setField(name(schema::Yalan), w.col[NewArea]);
    kayit.setField(name(schema::Adi), w.adi);
    kayit.setField(name(schema::Soyadi), w.soyadi);
    kayit.setField(name(schema::Babaadi), w.col[FatherName]);
    kayit.setField(name(schema::Epafta), w.col[OldSheet]);
    kayit.setField(name(schema::Eada), w.col[OldBlock]);
    kayit.setField(name(schema::Eparsel), w.col[OldParcel]);
    kayit.setField(name(schema::Ehispay), w.ehispay);
    kayit.setField(name(schema::Ehispayda), w.ehispayda);
    kayit.setField(name(schema::Ealan), Value::number(valOf(w.col[OldArea])));
    kayit.setField(name(schema::Tapu), Value::number(valOf(w.col[TitleDeed])));
    kayit.setField(name(schema::Dop), Value::number(valOf(w.col[Deduction])));
    kayit.setField(name(schema::Tahsis), Value::number(valOf(w.col[Allocation])));
    kayit.setField(name(schema::Mahalle), Value::text(mahalle));
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
    Working w;
    for (int line = 1; line <= blockLines; ++line) {
        Values cut = cutAll(satir);
        const RowKind kind = classify(cut[OwnerName]);
        // stt has counted the line in satir, so it is that line's number. The
        // columns are cut from satir: without a NUL in it, none has one.
        if ((kind == RowKind::Continuation || kind == RowKind::Owner) && satir.contains(QChar(0))
            && storesNul(cut, kind))
            throw Error(err::DamagedReport, QStringLiteral("line %1 holds NUL bytes: the report is damaged").arg(stt));
        // The cut columns are not needed again: their text moves into the working values.
        for (int c = 0; c < ColumnCount; ++c)
            w.col[c] = Value::text(std::move(cut[c]));
        if (kind == RowKind::Continuation)
            readBack(kayit, w);
        else if (kind == RowKind::Owner)
            normaliseOwner(w, validity);
        if (kind == RowKind::Continuation || kind == RowKind::Owner) {
            splitShare(w.col[NewShare].asText(), w.yhispay, w.yhispayda);
            store(kayit, w, mahalle);
            watchStored();
        }
        readLine();
    }
    kayit.close();
}

} // namespace zefto
