// Wave files from arbitrary bytes: a file is taken only with its RIFF, format and data
// headers all present. (Sounding the samples waits out every tone and is left out.)
#include "tests/fuzz/FuzzFile.h"
#include "tests/fuzz/FuzzInput.h"

#include "devext/services/CWaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzz::TempFile file("fuzz_wave_file");
    CWaveFile wave;
    const int opened = wave.Open(file.Write(std::vector<uint8_t>(data, data + size)));
    if (opened) {
        FUZZ_CHECK(size >= 44);
        FUZZ_CHECK(wave.IsOpen());
    } else {
        FUZZ_CHECK(!wave.IsOpen());
    }
    return 0;
}
