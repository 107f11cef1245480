// Time texts as operators type them: a date and a timecode text to a file time, and
// timecode texts to frame counts; what a value reads back as is what its text says.
#include "tests/fuzz/FuzzInput.h"

#include "KestLib20/CFileTime.h"
#include "KestLib20/timecode_t.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const std::string date = in.Text(), time = in.Text();

    const CFileTime at(date.c_str(), time.c_str());
    char text[CFileTime::kDateTimeTextSize];
    at.GetAsString(text, 'Y', 'F');
    FUZZ_CHECK(std::strlen(text) < sizeof text);
    at.GetDateAsString(text, 'i');
    plat::SYSTEMTIME local{};
    at.Get(local);

    timecode_t code;
    code.SetAsFrames(time.c_str());
    char shown[timecode_t::kTextSize];
    FUZZ_CHECK(code.GetAsString(shown) == shown);
    timecode_t back;
    back.SetAsFrames(shown);
    FUZZ_CHECK(back.nFrames == code.nFrames);
    return 0;
}
