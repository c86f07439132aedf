#pragma once

#include "foldedneedle.h"
#include "schema.h"
#include "store.h"

#include <array>

// What a filter of the records looks at: a text field of these holding the
// filter's text, ignoring case and Turkish letter marks (letterfold.h).
namespace zefto::filter {

// The owner's given names and surname, the father's name, both blocks and
// parcels, and the neighbourhood.
inline constexpr std::array<schema::Field, 8> fields{schema::Adi,     schema::Soyadi, schema::Babaadi, schema::Yada,
                                                     schema::Yparsel, schema::Eada,   schema::Eparsel, schema::Mahalle};

// Where each of `fields` sits in a record of a store with these columns (-1: not there).
std::array<int, fields.size()> positions(const QStringList &columns);

// Whether a record with the fields at `at` matches `needle`.
bool matches(const std::array<int, fields.size()> &at, const Record &record, FoldedNeedle &needle);

} // namespace zefto::filter
