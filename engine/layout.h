#pragma once

#include <QString>
#include <QStringView>
#include <array>

namespace zefto::layout {

inline constexpr int headerLines = 9;
inline constexpr int blockLines = 50;
inline constexpr int gapLines = 13;
inline constexpr int pageLines = blockLines + gapLines;
// A line this long reaches the end of the last column.
inline constexpr int fullLineLength = 161;

// The fourteen columns of a data line, 1-based start and length.
enum Col {
    OldSheet,
    OldBlock,
    OldParcel,
    OldArea,
    OwnerName,
    FatherName,
    OldShare,
    TitleDeed,
    Deduction,
    Allocation,
    NewBlock,
    NewParcel,
    NewArea,
    NewShare,
    ColumnCount
};

struct Column {
    int start;
    int length;
};

inline constexpr std::array<Column, ColumnCount> columns = {{
    {8, 5},
    {14, 6},
    {21, 6},
    {28, 8},
    {37, 21},
    {59, 10},
    {70, 19},
    {90, 10},
    {101, 10},
    {112, 10},
    {131, 5},
    {137, 2},
    {140, 10},
    {151, 11},
}};

// Views into the line they were cut from, valid while it is: most lines are
// rules, signatures or columns never stored, so nothing is copied to cut them.
using Values = std::array<QStringView, ColumnCount>;

// Characters start..start+length-1 of the line; shorter when the line ends
// inside the column, zero-length (never null, so never stored as NULL) when before it.
QStringView cut(QStringView line, Column c);
Values cutAll(QStringView line);

enum class RowKind { Rule, Signature, Continuation, Owner };
// Decided on the owner name column value alone, by exact comparison.
RowKind classify(QStringView ownerName);

// Whether report line n (1-based) lies in a data block.
bool inDataBlock(int lineNumber);

} // namespace zefto::layout
