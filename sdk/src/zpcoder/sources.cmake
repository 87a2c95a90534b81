vtx_generate_table(djvu_sdk "${CMAKE_CURRENT_LIST_DIR}/zp_states.tsv" zp_states.inc COLUMNS 1 2 3 4)
