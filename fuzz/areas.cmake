# The fuzz targets, fuzz/<area>_fuzzer.cpp: built as libFuzzer programs by the fuzz preset and
# replayed over tests/regress/<area>/ by every test build.
set(VTX_FUZZ_AREAS annotation baselib bookmark bzz document imaging iw44 jb2 mmr text thumbnail)
