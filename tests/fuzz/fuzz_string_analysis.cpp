// The text forms of settings and messages from arbitrary text: lists, key=value pairs, URL,
// DOS and XML-style parameters and file-name patterns; keys and values always pair up.
#include "tests/fuzz/FuzzInput.h"

#include "KestLib20/StringAnalysis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const char separator = static_cast<char>(in.Byte());
    const std::string pattern = in.Text();
    const std::string text = in.Text();
    const char *t = text.c_str();

    CStringArray list, keys, values;
    FUZZ_CHECK(StringAnalysis_Array(t, separator, list) == list.GetSize());
    CString key, value;
    StringAnalysis_KeyValue(t, separator, key, value);
    StringAnalysis_Bracket(t, "<{[", ">}]");
    FUZZ_CHECK(StringAnalysis_DosParam(t, keys, values) == keys.GetSize());
    FUZZ_CHECK(keys.GetSize() == values.GetSize());
    FUZZ_CHECK(StringAnalysis_UrlParam(t, keys, values) == keys.GetSize());
    FUZZ_CHECK(keys.GetSize() == values.GetSize());
    if (StringAnalysis_XmlProp(t, keys, values) == 0) FUZZ_CHECK(keys.GetSize() == 0);
    FUZZ_CHECK(keys.GetSize() == values.GetSize());
    // A pattern test is bounded in its work whatever the pattern (a run of "*" included).
    const int match = StringExprDosTest(t, pattern.c_str());
    FUZZ_CHECK(match == 0 || match == 1);
    FUZZ_CHECK(StringExprDosTest(t, "*") == 1);
    return 0;
}
