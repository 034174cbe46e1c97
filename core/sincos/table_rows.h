// The four values of each entry of the sine-cosine table side by side:
// row i holds sinHigh[i], sinLow[i], cosHigh[i], cosLow[i] in 32 bytes, so
// that a vector lane fetches its whole entry with one load instead of four
// gathers. Built by the compiler from the generated arrays, value for value.
#ifndef SPECTROGRID_CORE_SINCOS_TABLE_ROWS_H
#define SPECTROGRID_CORE_SINCOS_TABLE_ROWS_H

#include "sincos/generated/sincos_tables.h"

namespace spectrogrid {
namespace sincos_tables {

struct EntryRows {
    alignas(64) double row[512][4];
};

constexpr EntryRows interleavedEntries() {
    EntryRows rows{};
    for (int i = 0; i < 512; ++i) {
        rows.row[i][0] = sinHigh[i];
        rows.row[i][1] = sinLow[i];
        rows.row[i][2] = cosHigh[i];
        rows.row[i][3] = cosLow[i];
    }
    return rows;
}

inline constexpr EntryRows entryRows = interleavedEntries();

}  // namespace sincos_tables
}  // namespace spectrogrid

#endif
