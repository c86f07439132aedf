/* The XLSX export's baseline: the same cells as `zefto-records export FILE.xlsx`
 * (the 19 fields of every ovrekson record, in key order, under a frozen header
 * row; texts as text, numbers as numbers, NULL as no cell), written by plain
 * libxlsxwriter in constant-memory mode straight from SQLite.
 * Usage: xlsx_baseline DATABASE OUT.xlsx */
#include <sqlite3.h>
#include <stdio.h>
#include <xlsxwriter.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: xlsx_baseline DATABASE OUT.xlsx\n");
        return 64;
    }
    sqlite3 *db = NULL;
    sqlite3_stmt *q = NULL;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK
        || sqlite3_prepare_v2(db,
                              "SELECT yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, babaadi, "
                              "epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, tahsis, mahalle "
                              "FROM ovrekson ORDER BY rowid",
                              -1, &q, NULL) != SQLITE_OK) {
        fprintf(stderr, "xlsx_baseline: %s\n", sqlite3_errmsg(db));
        return 2;
    }
    lxw_workbook_options options = {.constant_memory = LXW_TRUE};
    lxw_workbook *book = workbook_new_opt(argv[2], &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, "ovrekson");
    const int columns = sqlite3_column_count(q);
    for (int c = 0; c < columns; ++c)
        worksheet_write_string(sheet, 0, (lxw_col_t)c, sqlite3_column_name(q, c), NULL);
    worksheet_freeze_panes(sheet, 1, 0);
    lxw_row_t row = 0;
    while (sqlite3_step(q) == SQLITE_ROW) {
        ++row;
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(q, c)) {
            case SQLITE_TEXT:
                worksheet_write_string(sheet, row, (lxw_col_t)c, (const char *)sqlite3_column_text(q, c), NULL);
                break;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT: worksheet_write_number(sheet, row, (lxw_col_t)c, sqlite3_column_double(q, c), NULL); break;
            default: break;
            }
        }
    }
    sqlite3_finalize(q);
    sqlite3_close(db);
    const lxw_error e = workbook_close(book);
    if (e != LXW_NO_ERROR) {
        fprintf(stderr, "xlsx_baseline: %s\n", lxw_strerror(e));
        return 2;
    }
    printf("%u records\n", (unsigned)row);
    return 0;
}
