// String table files from arbitrary bytes: a table that loads saves and loads again to the
// same fields and cells.
#include "tests/fuzz/FuzzFile.h"
#include "tests/fuzz/FuzzInput.h"

#include "KestLib20/CStringTable.h"

namespace {

bool SameCells(const CStringArray &a, const CStringArray &b)
{
    if (a.GetSize() != b.GetSize()) return false;
    for (int i = 0; i < a.GetSize(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzz::TempFile file("fuzz_string_table");
    CStringTable table;
    if (!table.LoadFromFile(file.Write(std::vector<uint8_t>(data, data + size)))) return 0;
    FUZZ_CHECK(table.GetWidth() == table.GetFields().GetSize());
    for (int i = 0; i < table.GetRowCount(); ++i)
        FUZZ_CHECK(table.GetRow(i)->GetSize() == table.GetWidth());

    // A saved table loads again to the same cells (a file that is not well-formed GBK may not).
    FUZZ_CHECK(table.SaveToFile(file.Path()) == 1);
    if (!fuzz::WellFormedGbk(std::string(data, data + size))) return 0;
    CStringTable again;
    FUZZ_CHECK(again.LoadFromFile(file.Path()) == 1);
    FUZZ_CHECK(SameCells(again.GetFields(), table.GetFields()));
    FUZZ_CHECK(again.GetRowCount() == table.GetRowCount());
    for (int i = 0; i < table.GetRowCount(); ++i)
        FUZZ_CHECK(SameCells(*again.GetRow(i), *table.GetRow(i)));
    return 0;
}
