# The three prefix-code lists of the MMR decoder come from t4_codes.tsv, turned into string rows
# here and into (code, length, value) entries at compile time.
vtx_generate_table(djvu_sdk "${CMAKE_CURRENT_LIST_DIR}/t4_codes.tsv" t4_codes.inc COLUMNS 0 1 2 QUOTE 0 1 2)
