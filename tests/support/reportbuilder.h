#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace report {

// Encodes text as the report printer did (CP857): Turkish letters and the
// box-drawing bar to their CP857 bytes, ASCII as itself.
QByteArray cp857(const QString &text);

// One share table row; every field is text as printed, placed at its column.
struct Row {
    QString oldSheet = QStringLiteral("12");
    QString oldBlock = QStringLiteral("101");
    QString oldParcel = QStringLiteral("7");
    QString oldArea = QStringLiteral("1250.50");
    QString owner = QStringLiteral("ALİ YILMAZ");
    QString father = QStringLiteral("VELİ");
    QString oldShare = QStringLiteral("1/2");
    QString titleDeed = QStringLiteral("625.25");
    QString deduction = QStringLiteral("250.10");
    QString allocation = QStringLiteral("375.15");
    QString newBlock = QStringLiteral("205");
    QString newParcel = QStringLiteral("3");
    QString newArea = QStringLiteral("980.00");
    QString newShare = QStringLiteral("1/4");
};

// A full data line (161 characters and a margin) with the row's values.
QByteArray ownerLine(const Row &row);
// Blanks in the owner name column: repeats the previous owner.
QByteArray continuationLine(const Row &row);
QByteArray ruleLine();
QByteArray signatureLine();
// Header and page-gap text (page title, column heads, footer).
QByteArray headerLine(int lineNumber);

// Lays table lines out on 63-line pages: 9 header lines, 50 data lines per
// block, 13 gap lines; after the table a rule row, the signature row and
// blank lines to the end of the block, then the last page's gap lines.
std::vector<QByteArray> paginate(const std::vector<QByteArray> &tableLines);

QByteArray join(const std::vector<QByteArray> &lines, const QByteArray &eol = "\r\n");

// Where a generated table breaks one rule of a share table's arithmetic.
struct ShareBreak {
    int rule = 0; // 1 shares, 2 share areas, 3 title deed, 4 allocation; 0 breaks nothing
    int at = 0;   // the new parcel (rules 1, 2) or the owner row (rules 3, 4), counted from 0
};

// A table row, and whether it continues the owner row above it.
struct TableRow {
    Row row;
    bool continuation = false;
};

// n rows whose arithmetic holds: each new parcel's owners hold integer areas
// adding up to the parcel's (shares area/parcel area, or 1/1 for a sole
// owner), title deeds are old area × old share to the cent, allocations the
// deed less a 35 % deduction; every third parcel's first owner continues the
// owner above. Only `broken` is off, by a share's denominator (rule 1), the
// parcel's printed area (2) or one metre (3, 4).
std::vector<TableRow> holdingRows(int rows, ShareBreak broken = {});
std::vector<QByteArray> holdingTable(int rows, ShareBreak broken = {});

// A realistic row for index i: varied Turkish names (all six repaired
// capitals), institution owners, shares.
Row sampleRow(int i);
// Table lines for n rows, every sixth a continuation of the row before.
std::vector<QByteArray> sampleTable(int rows);

} // namespace report
