// Database connection strings: any text is either read into pairs or refused with a reason,
// and any value written with QuoteConnectionValue reads back unchanged.
#include "tests/fuzz/FuzzInput.h"

#include "platform/db/ConnectionString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const std::string value = in.Text();
    const std::string text = in.Text();

    std::string error;
    const auto parsed = plat::db::ConnectionString::Parse(text, &error);
    FUZZ_CHECK(parsed.has_value() || !error.empty());
    if (parsed)
        for (const plat::db::ConnectionPair &pair : parsed->Pairs()) FUZZ_CHECK(!pair.key.empty());

    const std::string written = "Data Source=" + plat::db::QuoteConnectionValue(value) + ";x=1";
    const auto back = plat::db::ConnectionString::Parse(written, &error);
    FUZZ_CHECK(back.has_value());
    const std::string *read = back->Find("data source");
    FUZZ_CHECK(read && *read == value);
    return 0;
}
