#pragma once

#include "database.h"
#include "error.h"
#include "errornumber.h"
#include "schema.h"
#include "valueprinter.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <functional>
#include <gtest/gtest.h>

// Runs `sqls` on the file with a connection of its own, as another program would; the last one's rows.
inline QList<QVariantList> rawRows(const QString &file, const QStringList &sqls)
{
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString &sql : sqls)
            EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return rows;
}

inline QList<QVariantList> rawRows(const QString &file, const QString &sql)
{
    return rawRows(file, QStringList{sql});
}

// A file with our table in UTF-16, as versions before UTF-8 made every file.
inline void makeUtf16File(const QString &file)
{
    rawRows(file, {QStringLiteral("PRAGMA encoding='UTF-16le'"), zefto::schema::createStatement()});
}

// A complete, valid share record.
inline void fillRecord(zefto::Recordset &rs, const QString &adi = QStringLiteral("Ali"))
{
    using zefto::Value;
    rs.addNew();
    for (const char *f : {"yada", "yparsel", "yhispay", "yhispayda", "hisyuzolçumu", "yalan", "babaadi", "epafta",
                          "eada", "eparsel", "ehispay", "ehispayda"})
        rs.setField(QString::fromUtf8(f), Value::text(QStringLiteral("1")));
    rs.setField(QStringLiteral("adi"), Value::text(adi));
    rs.setField(QStringLiteral("soyadi"), Value());
    for (const char *f : {"ealan", "tapu", "dop", "tahsis"})
        rs.setField(QString::fromUtf8(f), Value::number(1250.5));
    rs.setField(QStringLiteral("mahalle"), Value::text(QStringLiteral("Tarçınbağı")));
}
